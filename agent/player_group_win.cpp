#include "agent/player_group_win.h"

#include <cstring>

#include "agent/user_settings_win.h"
#include "base/owners_win.h"
#include "base/profile_win.h"

namespace agent {

namespace {

// PROCESS_QUERY_LIMITED_INFORMATION: enough for the image name, even of an
// elevated player.
constexpr DWORD kQueryLimitedInformation = 0x1000;

} // namespace

void CurrentGroup(HWND player, const AgentSettings& own, char (&groupAddress)[kGroupAddressRoom],
                  uint8_t& userGroup) {
    std::memcpy(groupAddress, own.groupAddress, sizeof groupAddress);
    userGroup = own.userGroup;
    DWORD process = 0;
    if (!player || !GetWindowThreadProcessId(player, &process) || !process) return;
    UniqueHandle opened(OpenProcess(kQueryLimitedInformation, FALSE, process));
    char image[MAX_PATH + 1] = {};
    DWORD n = MAX_PATH;
    // Vista's call, looked up so that the program still starts where it is missing.
    using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
    const auto query = reinterpret_cast<QueryImageName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameA")));
    if (!opened || !query || !query(opened.Get(), 0, image, &n)) {
        OutputDebugStringA("orvela_agent: the player's program file is unknown; its group too\n");
        return;
    }
    const std::string path = SettingsFilePath(std::string_view(image, n));
    if (path.empty()) return;
    // A player without a manifest writes its plug-ins' settings to the
    // user's VirtualStore copy, and reads them from there.
    // Missing keys give the browser's defaults, as the browser reads them.
    PrivateProfileStore store(FollowVirtualStore(path));
    LoadGroupSettings(store, groupAddress, userGroup);
}

} // namespace agent
