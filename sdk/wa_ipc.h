// The player's main-window messages and IPC numbers. Plain constants, so the
// portable core can speak to the player through a message seam without
// including <windows.h>.
#pragma once

#include <cstddef>

namespace wa {

constexpr unsigned WM_USER_BASE = 0x0400;
constexpr unsigned WM_WA_IPC = WM_USER_BASE;          // lParam: IPC number, wParam: data
constexpr unsigned WM_WA_MPEG_EOF = WM_USER_BASE + 2; // posted by an input plug-in at track end

constexpr int IPC_PLAYFILE = 100; // WM_COPYDATA dwData: append a file to the playlist
// IPC_PLAYFILE takes the file name as a zero-padded block of this size.
constexpr size_t kPlayFileRoom = 256;
constexpr int IPC_SETPLAYLISTPOS = 121; // data: index
constexpr int IPC_GETLISTLENGTH = 124;
constexpr int IPC_GETLISTPOS = 125;
constexpr int IPC_GETPLAYLISTFILE = 211;  // data: index; answers a char* or 0
constexpr int IPC_GETPLAYLISTTITLE = 212; // data: index; answers a char* or 0
constexpr int IPC_GETWND = 260;           // data: which window
constexpr int IPC_GETWND_PE = 1;          //   the playlist editor
constexpr int IPC_GET_HMENU = 281;        // data 1: the File menu of the main menu bar
// data 0: the skin bitmap; 1, 2, 3: the font's face, character set, height
constexpr int IPC_GET_GENSKINBITMAP = 503;
constexpr int IPC_GET_EMBEDIF = 505; // data: embedWindowState*; answers the frame window

// WM_COMMAND identifiers of the player's own commands.
constexpr int CMD_PLAY = 40045;             // the Play button
constexpr int CMD_PE_BEFORE_LIST = 40214;   // playlist editor: sent before a fetched list is added
constexpr int CMD_PE_BEFORE_STREAM = 40222; // playlist editor: sent before a stream is appended

} // namespace wa
