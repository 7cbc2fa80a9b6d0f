// Where this user's settings live on this computer, and the copies Windows
// kept of older ones.
#pragma once

#include <string>

namespace agent {

// The user's local application data folder: LOCALAPPDATA as the system sets
// it for the user's programs, else the known folder; empty when neither is.
std::string LocalAppData();

// The user's settings file (see UserSettingsPath), its folder made. An
// older agent without a manifest wrote its settings beside itself, which
// Windows redirected to this user's VirtualStore: such a copy of
// `programSettings` is moved to the user's file once, when that has none.
std::string PrepareUserSettings(const std::string& programSettings);

// `file`, or this user's VirtualStore copy of it where one exists: what a
// program without a manifest (an older player) reads and writes instead.
std::string FollowVirtualStore(const std::string& file);

} // namespace agent
