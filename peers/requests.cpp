#include "peers/requests.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/text.h"
#include "peers/presence.h"
#include "wire/tagged_packet.h"

namespace {

constexpr size_t kMaxDisplayName = 99;
constexpr size_t kCountTextRoom = 19;
constexpr size_t kEntryTextRoom = 255;
constexpr int kMaxEntries = 255; // tags are one byte; tag 0 holds the count

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsWord(const uint8_t* data, size_t size, std::string_view word) {
    return size == word.size() && std::memcmp(data, word.data(), size) == 0;
}

std::string Format(const char* format, unsigned value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A field's bytes as text: up to its first zero byte and at most `room`.
std::string FieldText(const TaggedField* field, size_t room) {
    const auto* p = reinterpret_cast<const char*>(field->data);
    return std::string(p, strnlen(p, std::min<size_t>(field->length, room)));
}

} // namespace

std::string DisplayName(const char* computerName) {
    if (!computerName) return {};
    std::string name(computerName, strnlen(computerName, kMaxDisplayName));
    for (char& c : name)
        c = Lower(c);
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

PlaylistOutcome ReadPlaylistAnswer(const uint8_t* data, size_t size, const char* peerName) {
    using Kind = PlaylistOutcome::Kind;
    PlaylistOutcome out;
    if (IsWord(data, size, wire::kDeny)) {
        out.kind = Kind::Refused;
        out.message = DisplayName(peerName) + " doesn't permit playlist tramsmission";
        return out;
    }
    if (IsWord(data, size, wire::kPlaylistError)) {
        std::string lower = peerName ? peerName : "";
        for (char& c : lower)
            c = Lower(c);
        out.kind = Kind::NoPlaylist;
        out.message = "Error on getting play list.\nMay be winamp on " + lower + " is not started";
        return out;
    }

    // Fields that parse before any damage are still read, as the agent may
    // cut a long list short.
    CTaggedPacket packet;
    packet.Parse(data, size);
    int count = 0;
    if (const TaggedField* f = packet.FindField(wire::PLAYLIST_COUNT_TAG))
        count = ParseDecimal(FieldText(f, kCountTextRoom).c_str());
    count = std::min(count, kMaxEntries);
    for (int tag = 1; tag <= count; ++tag)
        if (const TaggedField* f = packet.FindField(static_cast<uint8_t>(tag)))
            out.entries.push_back(FieldText(f, kEntryTextRoom));
    return KeepReachedEntries(out.entries, peerName);
}

PlaylistOutcome KeepReachedEntries(const std::vector<std::string>& reached, const char* peerName) {
    PlaylistOutcome out;
    for (const std::string& name : reached)
        // A name cut to fit the player's block would be another file.
        if (!name.empty() && name.size() < wa::kPlayFileRoom) out.entries.push_back(name);
    if (out.entries.empty()) {
        out.kind = PlaylistOutcome::Kind::NothingShared;
        out.message = DisplayName(peerName) + "' playlist does'n have shared items";
    } else {
        out.kind = PlaylistOutcome::Kind::Import;
    }
    return out;
}

std::string RequestFailureMessage(unsigned error) {
    return Format("Failed. Error = %u", error);
}

bool IsRefusal(const uint8_t* answer, size_t size) {
    return IsWord(answer, size, wire::kDeny);
}

std::string RefusalMessage(const char* computerName) {
    return DisplayName(computerName) + " doesn't permit sound transmission!";
}

std::string PermissionErrorMessage(unsigned error) {
    return Format("Error on getting permission. Error = %u", error);
}

uint16_t PermissionPort(uint16_t announced) {
    return announced ? announced : wire::kDefaultRequestPort;
}

bool IsAnswerFrom(uint32_t asked, uint16_t askedPort, uint32_t from, uint16_t fromPort) {
    const auto loopback = [](uint32_t a) { return (a >> 24) == 127; };
    return fromPort == askedPort && (from == asked || (loopback(from) && loopback(asked)));
}
