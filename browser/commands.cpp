#include "browser/commands.h"

#include "base/text.h"
#include "peers/presence.h"
#include "peers/requests.h"

namespace {
constexpr size_t kMenuTextRoom = 99;
constexpr size_t kDirectoryRoom = 255;
constexpr size_t kUserGroupTextRoom = 38;
} // namespace

std::vector<MenuEntry> HeaderMenuEntries() {
    return {{kSortAscending, "Sort ascending"},
            {kSortDescending, "Sort descending"},
            {3, "", false, true},
            {kSelectColumnsCommand, "Select columns..."}};
}

std::vector<MenuEntry> PeerMenuEntries(const PeerRecord& record) {
    const bool unreachable = record.sharedReachable == 0;
    std::string playlist = "Get " + DisplayName(record.computerName) + "'s playlist";
    if (playlist.size() > kMenuTextRoom) playlist.resize(kMenuTextRoom);
    return {{kPlayTheFile, "Play the file", unreachable},
            {kOpenSharedDirectory, "Open shared directory", unreachable},
            {kGetPlaylist, playlist}};
}

std::string DirectoryPart(const std::string& path) {
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return {};
    return path.substr(0, std::min(slash, kDirectoryRoom));
}

bool ParseUserGroup(const char* text, uint8_t& group) {
    const int32_t n = ParseDecimal(text ? text : "", kUserGroupTextRoom);
    if (n < 0 || n > 255) return false;
    group = static_cast<uint8_t>(n);
    return true;
}
