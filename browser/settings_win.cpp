#include "browser/settings_win.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kModuleNameRoom = 350;

} // namespace

std::string SettingsFileLocation() {
    char name[kModuleNameRoom] = {};
    const DWORD n = GetModuleFileNameA(nullptr, name, kModuleNameRoom);
    // A name that filled the buffer was cut, and its directory is not ours.
    if (n == 0 || n >= kModuleNameRoom) return {};
    return SettingsFilePath(std::string_view(name, n));
}

void LoadBrowserSettings(CBrowserSettings& settings) {
    PrivateProfileStore store(SettingsFileLocation());
    load(settings, store);
}

bool SaveBrowserSettings(const CBrowserSettings& settings) {
    PrivateProfileStore store(SettingsFileLocation());
    return save(settings, store);
}

bool SaveBrowserUserGroup(uint8_t userGroup) {
    PrivateProfileStore store(SettingsFileLocation());
    return SaveUserGroup(store, userGroup);
}
