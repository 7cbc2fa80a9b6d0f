// ParsePresence takes any datagram a peer can send: it must stay inside the
// bytes, accept only packets whose header equals their size, and leave every
// text zero-terminated inside its field.
#include <cstdint>
#include <cstring>
#include <vector>

#include "peers/presence.h"

namespace {

template <size_t N> void CheckTerminated(const char (&text)[N]) {
    if (!std::memchr(text, 0, N)) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that ASan sees any read past them.
    std::vector<uint8_t> in(data, data + size);
    auto record = ReadPresenceDatagram(in.data(), in.size(), 0x7F000002u, 0x7F000001u);
    if (!record) return 0;
    if (size < 2 || size > 1024 || static_cast<size_t>(in[0] | (in[1] << 8)) != size)
        __builtin_trap();
    CheckTerminated(record->computerName);
    CheckTerminated(record->userName);
    CheckTerminated(record->title);
    CheckTerminated(record->sharedPath);
    if (std::strcmp(record->address, "127.0.0.2") != 0 || record->sharedReachable != 0 ||
        record->lastHeard != 0)
        __builtin_trap();
    return 0;
}
