// The now-playing block's mapping and the player seam on Win32.
#pragma once

#include <windows.h>

#include <string>

#include "base/owners_win.h"
#include "player/nowplaying.h"
#include "player/player_ipc.h"

// Opens the named block, or creates and initialises it; the same view once
// it is open. Null while the mapping cannot be made or opened: the writers
// then skip the block, and the next call tries again.
NowPlayingBlock* OpenBlock();

// Security attributes from an SDDL text, for objects that processes of more
// than one token share. Get() is null when the text could not be converted:
// the creator's defaults apply then.
class SddlSecurity {
  public:
    explicit SddlSecurity(const std::string& sddl);
    SECURITY_ATTRIBUTES* Get() { return descriptor_ ? &attributes_ : nullptr; }

  private:
    LocalMemory descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

// WM_WA_IPC messages sent to the player's main window.
class WindowPlayerIpc : public PlayerIpc {
  public:
    explicit WindowPlayerIpc(HWND player) : player_(player) {}
    intptr_t Send(int ipc, intptr_t data) override;

  private:
    HWND player_; // not owned
};
