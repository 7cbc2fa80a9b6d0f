#include "peers/presence.h"

#include <algorithm>
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
    if (!buffer || received < 2 || received > wire::kMaxPresenceDatagram) return false;
    if (static_cast<size_t>(buffer[0] | (buffer[1] << 8)) != received) return false;
    CTaggedPacket packet;
    if (!packet.Parse(buffer, received)) return false;

    CopyText(packet, wire::PRESENCE_USER_NAME, record.userName);
    CopyText(packet, wire::PRESENCE_COMPUTER_NAME, record.computerName);
    CopyText(packet, wire::PRESENCE_TITLE, record.title);
    CopyText(packet, wire::PRESENCE_SHARED_PATH, record.sharedPath);

    char portText[kPresencePortTextRoom + 1] = {};
    CopyText(packet, wire::PRESENCE_PORT, portText);
    record.port = static_cast<uint16_t>(ParseDecimal(portText));
    return true;
}

std::unique_ptr<PeerRecord> ReadPresenceDatagram(const uint8_t* buffer, size_t received,
                                                 uint32_t source, uint32_t local) {
    OwnAddresses own;
    own.Add(local);
    return ReadPresenceDatagram(buffer, received, source, own);
}

std::unique_ptr<PeerRecord> ReadPresenceDatagram(const uint8_t* buffer, size_t received,
                                                 uint32_t source, const OwnAddresses& own) {
    // A computer never lists itself; the source port plays no part.
    if (own.Contains(source)) return nullptr;
    auto record = std::make_unique<PeerRecord>();
    FormatIpv4(source, record->address);
    if (!ParsePresence(*record, buffer, received)) return nullptr;
    return record;
}

void PostedRecords::Keep(std::unique_ptr<PeerRecord> record) {
    if (!record) return;
    // A computer whose last announcement still waits for the window: that
    // record now says what this one says. A flood then costs the window one
    // record per computer, not one per datagram, and reading never stalls
    // behind records not yet taken.
    if (record->address[0])
        for (const auto& w : waiting_)
            if (std::strcmp(w->address, record->address) == 0) {
                *w = *record;
                return;
            }
    if (waiting_.size() < kLimit) waiting_.push_back(std::move(record));
}

PeerRecord* PostedRecords::ToPost() {
    if (onItsWay_ || waiting_.empty()) return nullptr;
    onItsWay_ = waiting_.front().get();
    return waiting_.front().get();
}

bool PostedRecords::Claim(uintptr_t posted) {
    if (!onItsWay_ || reinterpret_cast<uintptr_t>(onItsWay_) != posted) return false;
    onItsWay_ = nullptr;
    return true;
}

std::unique_ptr<PeerRecord> PostedRecords::Take() {
    if (waiting_.empty()) return nullptr;
    std::unique_ptr<PeerRecord> front = std::move(waiting_.front());
    waiting_.erase(waiting_.begin());
    return front;
}

bool ReadWaitingDatagrams(const std::function<ReadOutcome()>& readOne,
                          const std::function<uint32_t()>& clock) {
    const uint32_t start = clock();
    for (int reads = 0; reads < kReadsPerTurn; ++reads) {
        switch (readOne()) {
        case ReadOutcome::Empty:
        case ReadOutcome::Failed: // the tick tries again
            return false;
        case ReadOutcome::Taken:
        case ReadOutcome::Dropped: // consumed: the next one may be fine
            break;
        }
        if (static_cast<uint32_t>(clock() - start) >= kReadTurnMs) return true;
    }
    return true;
}

void OwnAddresses::Add(uint32_t address) {
    if (address != 0 && !Contains(address)) addresses_.push_back(address);
}

bool OwnAddresses::Contains(uint32_t address) const {
    return std::find(addresses_.begin(), addresses_.end(), address) != addresses_.end();
}

std::vector<uint32_t> GroupMemberships::ToJoin(const std::vector<uint32_t>& upNow) {
    std::erase_if(joined_, [&](uint32_t a) {
        return std::find(upNow.begin(), upNow.end(), a) == upNow.end();
    });
    std::vector<uint32_t> out;
    for (uint32_t a : upNow)
        if (std::find(joined_.begin(), joined_.end(), a) == joined_.end() &&
            std::find(out.begin(), out.end(), a) == out.end())
            out.push_back(a);
    return out;
}
