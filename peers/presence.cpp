#include "peers/presence.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "wire/protocol.h"
#include "wire/tagged_packet.h"

namespace {

// A text field's bytes into its room, as far as its first zero byte.
template <size_t N> void CopyText(const CTaggedPacket& packet, uint8_t tag, char (&room)[N]) {
    const TaggedField* f = packet.FindField(tag);
    if (!f || !f->data) return;
    ::CopyText(room, std::string_view(reinterpret_cast<const char*>(f->data), f->length));
}

} // namespace

bool ParsePresence(PeerRecord& record, const uint8_t* buffer, size_t received) {
    if (!buffer || received < 2 || received > agent::kMaxPresenceDatagram) return false;
    if (static_cast<size_t>(buffer[0] | (buffer[1] << 8)) != received) return false;
    CTaggedPacket packet;
    if (!packet.Parse(buffer, received)) return false;

    CopyText(packet, agent::PRESENCE_USER_NAME, record.userName);
    CopyText(packet, agent::PRESENCE_COMPUTER_NAME, record.computerName);
    CopyText(packet, agent::PRESENCE_TITLE, record.title);
    CopyText(packet, agent::PRESENCE_SHARED_PATH, record.sharedPath);

    char portText[kPresencePortTextRoom + 1] = {};
    CopyText(packet, agent::PRESENCE_PORT, portText);
    record.port = static_cast<uint16_t>(ParseDecimal(portText));
    return true;
}

std::unique_ptr<PeerRecord> ReadPresenceDatagram(const uint8_t* buffer, size_t received,
                                                 uint32_t source, uint32_t local) {
    // A computer never lists itself; the source port plays no part.
    if (local != 0 && source == local) return nullptr;
    auto record = std::make_unique<PeerRecord>();
    FormatIpv4(source, record->address);
    if (!ParsePresence(*record, buffer, received)) return nullptr;
    return record;
}

PeerRecord* PostedRecords::Keep(std::unique_ptr<PeerRecord> record) {
    if (!record || waiting_.size() >= kLimit) return nullptr;
    waiting_.push_back(std::move(record));
    return waiting_.back().get();
}

std::unique_ptr<PeerRecord> PostedRecords::Claim(uintptr_t posted) {
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
        if (reinterpret_cast<uintptr_t>(it->get()) != posted) continue;
        std::unique_ptr<PeerRecord> record = std::move(*it);
        waiting_.erase(it);
        return record;
    }
    return nullptr;
}
