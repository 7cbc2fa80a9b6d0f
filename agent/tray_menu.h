// The notification-area icon's menu as data: who is listening now (greyed
// lines), then "Stop sharing sound" (or, once stopped, the way back) and
// "Exit"; when the settings refuse listening, only that and "Exit". The
// shell builds the pop-up menu from these entries.
#pragma once

#include <string>
#include <vector>

#include "agent/sessions.h"
#include "base/menu_entry.h"

namespace agent {

constexpr unsigned kStopSharingCommand = 1;
constexpr unsigned kShareAgainCommand = 2;
constexpr unsigned kExitCommand = 3;

// `sharing`: not stopped from the menu; `allowed`: the settings grant listening.
std::vector<MenuEntry> TrayMenuEntries(const std::vector<Endpoint>& listeners, bool sharing,
                                       bool allowed);

// The icon's tip: the program and how many listen.
std::string TrayTip(size_t listeners, bool sharing, bool allowed);

// A host-order address as dotted text.
std::string AddressText(uint32_t address);

} // namespace agent
