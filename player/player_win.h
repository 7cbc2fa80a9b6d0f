// Every message gen_orvela sends to the player goes through here. Each call
// first checks that the player's main window still exists: a player that is
// going away gets nothing, rather than a message to a recycled handle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class PlayerWindow {
  public:
    explicit PlayerWindow(HWND main) : main_(main) {} // not owned

    // The main window, or null once it is gone.
    HWND Main() const { return main_ && IsWindow(main_) ? main_ : nullptr; }
    // WM_WA_IPC with `data`; 0 when the player is gone.
    intptr_t Ipc(int ipc, intptr_t data) const;
    // A command to the playlist editor (the player's window IPC_GETWND_PE).
    void EditorCommand(int id) const;
    // Appends a file name (cut to 255 characters) to the playlist, as
    // WM_COPYDATA with IPC_PLAYFILE and a zero-padded 256-byte block.
    void AppendFile(const std::string& name, HWND from) const;
    // Selects the playlist's last entry and presses Play; nothing for an
    // empty playlist.
    void PlayLastEntry() const;

  private:
    HWND main_;
};
