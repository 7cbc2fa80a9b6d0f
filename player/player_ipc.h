// The seam between the portable core and the player: one WM_WA_IPC message to
// the player's main window (IPC number, data) and its answer.
#pragma once

#include <cstdint>

class PlayerIpc {
  public:
    virtual ~PlayerIpc() = default;
    virtual intptr_t Send(int ipc, intptr_t data) = 0;

    // IPC_GETPLAYLISTFILE and IPC_GETPLAYLISTTITLE answer a text or null.
    const char* Text(int ipc, intptr_t data) {
        return reinterpret_cast<const char*>(Send(ipc, data));
    }
};
