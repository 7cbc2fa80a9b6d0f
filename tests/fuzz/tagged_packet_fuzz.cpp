// Parse must stay inside the bytes it is given, and whatever it accepts must
// serialise back to a packet that parses to the same fields.
#include <cstdint>
#include <cstring>
#include <vector>

#include "wire/tagged_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that ASan sees any read past them.
    std::vector<uint8_t> in(data, data + size);
    CTaggedPacket p;
    if (!p.Parse(in.data(), in.size()) || !p.First()) return 0;

    std::vector<uint8_t> out(p.GetSize() < 2 ? 2 : p.GetSize());
    p.Serialize(out.data());
    if (p.GetSize() < 2) return 0; // wrapped past 65535: not a packet any user builds
    CTaggedPacket q;
    if (!q.Parse(out.data(), out.size())) __builtin_trap();
    const TaggedField* a = p.First();
    const TaggedField* b = q.First();
    for (; a && b; a = a->next, b = b->next)
        if (a->tag != b->tag || a->length != b->length || std::memcmp(a->data, b->data, a->length))
            __builtin_trap();
    if (a || b) __builtin_trap();
    return 0;
}
