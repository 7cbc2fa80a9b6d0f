// The browser's settings file on Windows: gen_orvela.ini in the Plugins
// folder beside the host's executable.
#pragma once

#include <string>

#include "base/profile_win.h"
#include "browser/settings.h"

// The file's location, worked out afresh from the process's executable.
std::string SettingsFileLocation();

// Loads or saves at the current location; false when a value was not written.
void LoadBrowserSettings(CBrowserSettings& settings);
bool SaveBrowserSettings(const CBrowserSettings& settings);
// Writes the user group alone, at once.
bool SaveBrowserUserGroup(uint8_t userGroup);
