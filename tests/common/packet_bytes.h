// Serialised tagged-field packets built from (tag, text) pairs, for tests
// that feed presence datagrams to the parser or over the network.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "wire/tagged_packet.h"

namespace test_packets {

using Bytes = std::vector<uint8_t>;

inline Bytes Packet(const std::vector<std::pair<uint8_t, std::string>>& fields) {
    CTaggedPacket p;
    for (const auto& [tag, text] : fields)
        p.AddField(tag, text.data(), static_cast<uint16_t>(text.size()));
    Bytes out(std::max<size_t>(p.GetSize(), 2));
    p.Serialize(out.data());
    return out;
}

} // namespace test_packets
