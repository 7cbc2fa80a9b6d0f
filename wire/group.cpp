#include "wire/group.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "wire/ipv4.h"
#include "wire/protocol.h"

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
    if (group.port == 0) group.port = static_cast<uint16_t>(ParseDecimal(wire::kDefaultGroupPort));

    uint32_t address = 0;
    if (host.empty() || host.size() > kGroupHostRoom || !ParseDottedIpv4(host, address))
        ParseDottedIpv4(wire::kDefaultGroupHost, address);
    // The configured last number never counts: the user group takes its place.
    group.address = (address & 0xFFFFFF00u) | userGroup;
    std::snprintf(group.text, sizeof group.text, "%u.%u.%u.%u", (group.address >> 24) & 0xFFu,
                  (group.address >> 16) & 0xFFu, (group.address >> 8) & 0xFFu, userGroup);
    return group;
}

void LoadGroupSettings(ProfileStore& store, char (&groupAddress)[kGroupAddressRoom],
                       uint8_t& userGroup) {
    char channel[kProfileValueRoom] = {};
    store.GetString("MAIN", "CHANNEL", "100", channel, sizeof channel);
    userGroup = static_cast<uint8_t>(ParseDecimal(channel));

    char value[kProfileValueRoom] = {};
    char def[kGroupAddressRoom] = {};
    std::snprintf(def, sizeof def, "%s:%s", wire::kDefaultGroupHost, wire::kDefaultGroupPort);
    store.GetString("MAIN", "BROADCAST_IP", def, value, sizeof value);
    std::memset(groupAddress, 0, sizeof groupAddress);
    std::memcpy(groupAddress, value, strnlen(value, sizeof groupAddress - 1));
}

bool SaveUserGroup(ProfileStore& store, uint8_t userGroup) {
    char text[4];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(userGroup));
    return store.PutString("MAIN", "CHANNEL", text);
}

std::string SettingsFilePath(std::string_view hostExecutable) {
    const size_t slash = hostExecutable.rfind('\\');
    if (slash == std::string_view::npos) return {};
    return std::string(hostExecutable.substr(0, slash)) + "\\Plugins\\gen_orvela.ini";
}
