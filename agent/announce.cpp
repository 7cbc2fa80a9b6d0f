#include "agent/announce.h"

#include <algorithm>
#include <cstring>

#include "wire/peer_record.h"
#include "wire/protocol.h"
#include "wire/tagged_packet.h"

namespace agent {

namespace {

void AddText(CTaggedPacket& packet, uint8_t tag, const std::string& text, size_t room) {
    const size_t n = std::min(text.size(), room - 1);
    if (n) packet.AddField(tag, text.data(), static_cast<uint16_t>(n));
}

std::string TextOf(const char* field, size_t room) {
    return std::string(field, strnlen(field, room));
}

} // namespace

std::vector<uint8_t> BuildPresencePacket(const PresenceInfo& info) {
    CTaggedPacket packet;
    AddText(packet, wire::PRESENCE_COMPUTER_NAME, info.computerName, kPeerNameRoom);
    AddText(packet, wire::PRESENCE_USER_NAME, info.userName, kPeerNameRoom);
    AddText(packet, wire::PRESENCE_PORT, std::to_string(info.requestPort), kPeerNameRoom);
    AddText(packet, wire::PRESENCE_TITLE, info.title, kPeerPathRoom);
    AddText(packet, wire::PRESENCE_SHARED_PATH, info.file, kPeerPathRoom);
    std::vector<uint8_t> out(packet.GetSize());
    packet.Serialize(out.data());
    return out;
}

void NowPlayingTexts(const NowPlayingBlock& copy, std::string& title, std::string& file) {
    title = TextOf(copy.title, sizeof copy.title);
    file = TextOf(copy.fileName, sizeof copy.fileName);
}

bool PlaylistPacket(const NowPlayingBlock& copy, std::vector<uint8_t>& packet) {
    const uint32_t size = copy.playlistSize;
    if (size < 2 || size > kPlaylistPacketRoom) return false;
    const uint8_t* bytes = copy.playlistPacket;
    if (static_cast<uint32_t>(bytes[0] | (bytes[1] << 8)) != size) return false;
    CTaggedPacket check;
    if (!check.Parse(bytes, size)) return false;
    packet.assign(bytes, bytes + size);
    return true;
}

} // namespace agent
