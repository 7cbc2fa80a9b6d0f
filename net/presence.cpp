#include "net/presence.h"

#include <cstdio>
#include <cstring>

#include "net/agent.h"
#include "net/tagged_packet.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Copies a text field into its zero-filled room: up to the field's first zero
// byte, cut to leave the terminator.
template <size_t N> void CopyText(const CTaggedPacket& packet, uint8_t tag, char (&room)[N]) {
    const TaggedField* f = packet.FindField(tag);
    if (!f || !f->data) return;
    const void* zero = std::memchr(f->data, 0, f->length);
    size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - f->data) : f->length;
    if (n > N - 1) n = N - 1;
    std::memset(room, 0, N);
    std::memcpy(room, f->data, n);
}

} // namespace

int32_t ParseDecimal(const char* text, size_t maxChars) {
    if (!text) return 0;
    size_t i = 0;
    while (i < maxChars && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < maxChars && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // One past the largest magnitude either sign can hold; digits beyond it
    // cannot change the clamped result.
    constexpr int64_t kCap = int64_t{1} << 31;
    int64_t value = 0;
    for (; i < maxChars && IsDigit(text[i]); ++i)
        if (value < kCap) value = value * 10 + (text[i] - '0');
    if (negative) return value >= kCap ? INT32_MIN : static_cast<int32_t>(-value);
    return value >= kCap ? INT32_MAX : static_cast<int32_t>(value);
}

void FormatIpv4(uint32_t a, char (&out)[kPeerAddressRoom]) {
    std::snprintf(out, sizeof out, "%u.%u.%u.%u", (a >> 24) & 0xFFu, (a >> 16) & 0xFFu,
                  (a >> 8) & 0xFFu, a & 0xFFu);
}

PresenceGroup ComputePresenceGroup(std::string_view addressText, uint8_t userGroup) {
    std::string_view host, port;
    if (const size_t colon = addressText.find(':'); colon != std::string_view::npos) {
        host = addressText.substr(0, colon);
        port = addressText.substr(colon + 1);
    }

    PresenceGroup group;
    int32_t portValue = 0;
    if (port.size() <= kGroupPortRoom) {
        char text[kGroupPortRoom + 1] = {};
        port.copy(text, port.size());
        portValue = ParseDecimal(text);
    }
    group.port = static_cast<uint16_t>(portValue);
    if (group.port == 0) group.port = static_cast<uint16_t>(ParseDecimal(agent::kDefaultGroupPort));

    uint32_t address = 0;
    if (host.empty() || host.size() > kGroupHostRoom || !ParseDottedIpv4(host, address))
        ParseDottedIpv4(agent::kDefaultGroupHost, address);
    // The configured last number never counts: the user group takes its place.
    group.address = (address & 0xFFFFFF00u) | userGroup;
    std::snprintf(group.text, sizeof group.text, "%u.%u.%u.%u", (group.address >> 24) & 0xFFu,
                  (group.address >> 16) & 0xFFu, (group.address >> 8) & 0xFFu, userGroup);
    return group;
}

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
