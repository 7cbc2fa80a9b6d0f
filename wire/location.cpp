#include "wire/location.h"

#include "base/text.h"
#include "wire/ipv4.h"
#include "wire/protocol.h"

namespace wire {

namespace {
constexpr size_t kMaxWrittenLocation = 255; // the player's name block, terminator aside
} // namespace

bool IsStreamLocation(std::string_view name) {
    return name.find(kLocationPrefix) != std::string_view::npos;
}

std::string_view LocationTitle(std::string_view name) {
    const size_t slash = name.rfind('\\');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

std::string FormatStreamLocation(const char* address, uint16_t port, std::string_view displayName) {
    std::string out(kLocationPrefix);
    out += address ? address : "";
    out += ':' + std::to_string(static_cast<int16_t>(port)) + '\\';
    out += displayName;
    out += "'s computer audio stream";
    if (out.size() > kMaxWrittenLocation) out.resize(kMaxWrittenLocation);
    return out;
}

bool ParseStreamLocation(std::string_view name, StreamLocation& out) {
    out = StreamLocation{};
    // Whatever IsStreamLocation claims can be played: read from the prefix on.
    const size_t prefix = name.find(kLocationPrefix);
    if (prefix == std::string_view::npos) return false;
    std::string_view rest = name.substr(prefix + kLocationPrefix.size());

    // A location cut short before its ':' ends the address at the backslash
    // or the end, and then has no port text.
    const size_t addressEnd = rest.find_first_of(":\\");
    std::string_view address = rest.substr(0, addressEnd);
    std::string_view portText;
    if (addressEnd != std::string_view::npos && rest[addressEnd] == ':') {
        std::string_view afterColon = rest.substr(addressEnd + 1);
        portText = afterColon.substr(0, afterColon.find('\\'));
    }
    address = address.substr(0, kMaxAddressText);
    portText = portText.substr(0, kMaxPortText);

    out.addressText = std::string(address);
    uint32_t a = 0;
    out.addressValid = ParseDottedIpv4(address, a) && a != 0 && a != 0xFFFFFFFFu;
    out.address = out.addressValid ? a : 0;
    // Ports above 32767 are written as negative 16-bit numbers; the low 16
    // bits of the value are the port either way.
    const auto port = static_cast<uint16_t>(static_cast<uint32_t>(ParseDecimal(portText)));
    out.port = port != 0 ? port : wire::kDefaultStreamPort;
    out.title = std::string(LocationTitle(name));
    return true;
}

} // namespace wire
