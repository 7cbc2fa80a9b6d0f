// The user group this computer announces on. The player's browser settings
// are the one source of truth while a player runs: a user who changes group
// in the browser moves this computer's announcements with it. The agent's
// own file counts only while no player runs.
#pragma once

#include <windows.h>

#include "agent/agent_settings.h"

namespace agent {

// The group keys of the running player's gen_orvela.ini (`player`: its main
// window, null when none runs), else those of `own`.
void CurrentGroup(HWND player, const AgentSettings& own, char (&groupAddress)[kGroupAddressRoom],
                  uint8_t& userGroup);

} // namespace agent
