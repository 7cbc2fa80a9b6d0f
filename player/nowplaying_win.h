// The now-playing block's mapping and the player seam on Win32.
#pragma once

#include <windows.h>

#include "player/nowplaying.h"
#include "player/player_ipc.h"

// Opens the named block, or creates and initialises it, on first use; the
// same view afterwards. Null when the mapping cannot be made: the writers
// then skip the block.
NowPlayingBlock* OpenBlock();

// WM_WA_IPC messages sent to the player's main window.
class WindowPlayerIpc : public PlayerIpc {
  public:
    explicit WindowPlayerIpc(HWND player) : player_(player) {}
    intptr_t Send(int ipc, intptr_t data) override;

  private:
    HWND player_; // not owned
};
