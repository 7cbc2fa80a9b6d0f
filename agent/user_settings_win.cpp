#include "agent/user_settings_win.h"

#include <windows.h>

#include <shlobj.h>

#include "agent/agent_settings.h"

namespace agent {

namespace {

bool IsFile(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

std::string LocalAppData() {
    char path[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return path;
    if (SUCCEEDED(
            SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return path;
    return {};
}

std::string PrepareUserSettings(const std::string& programSettings) {
    const std::string appData = LocalAppData();
    if (appData.empty()) return {};
    const std::string file = UserSettingsPath(appData);
    CreateDirectoryA(file.substr(0, file.rfind('\\')).c_str(), nullptr);
    const std::string kept = VirtualStorePath(appData, programSettings);
    if (!kept.empty() && IsFile(kept) && !IsFile(file)) {
        // Moved, not copied: it is taken over once, and an uninstall leaves
        // no copy behind to come back with the next install.
        if (!MoveFileExA(kept.c_str(), file.c_str(), MOVEFILE_COPY_ALLOWED))
            OutputDebugStringA("orvela_agent: the settings in the VirtualStore could not be "
                               "taken over\n");
    }
    return file;
}

std::string FollowVirtualStore(const std::string& file) {
    const std::string kept = VirtualStorePath(LocalAppData(), file);
    return !kept.empty() && IsFile(kept) ? kept : file;
}

} // namespace agent
