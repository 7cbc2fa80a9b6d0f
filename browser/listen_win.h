// Listening to a peer: asks its agent for permission and, when it grants,
// puts the peer's stream location at the end of the player's playlist and
// plays it. Runs on the user-interface thread; the wait for the answer is
// bounded by kPermissionTimeoutMs.
#pragma once

#include <windows.h>

#include "player/player_win.h"
#include "wire/peer_record.h"

// Failures and refusals are shown in message boxes owned by `owner`; a null
// record does nothing.
void ListenTo(const PeerRecord* record, HWND owner, const PlayerWindow& player);
