// What the agent tells the group and what it reads from its own player: the
// presence packet, and the now-playing block's title, file and playlist.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/nowplaying.h"

namespace agent {

struct PresenceInfo {
    std::string computerName;
    std::string userName;
    uint16_t requestPort = 0;
    std::string title; // the player's current entry; both empty when no player runs
    std::string file;
};

// One presence datagram: computer and user name, the request port as
// decimal text, and the title and file when there are any. Texts are cut to
// what a browser's record holds (99 and 259 characters), so the packet is
// always far below the 1024 bytes of a presence datagram.
std::vector<uint8_t> BuildPresencePacket(const PresenceInfo& info);

// The entry texts of a copy of the block, as far as their first zero byte.
void NowPlayingTexts(const NowPlayingBlock& copy, std::string& title, std::string& file);

// The playlist packet in a copy of the block, as the player wrote it; false
// when its size is out of range, disagrees with the packet's own length
// header, or the fields cannot be walked.
bool PlaylistPacket(const NowPlayingBlock& copy, std::vector<uint8_t>& packet);

} // namespace agent
