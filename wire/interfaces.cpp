#include "wire/interfaces.h"

bool OnLocalSubnet(uint32_t address, const std::vector<LocalInterface>& interfaces) {
    if ((address >> 24) == 127) return true;
    for (const LocalInterface& i : interfaces) {
        // A mask of 0 would make the whole internet "local".
        if (!i.up || i.mask == 0 || ((address ^ i.address) & i.mask) != 0) continue;
        const uint32_t host = address & ~i.mask;
        if (i.mask >= 0xFFFFFFFEu || (host != 0 && host != ~i.mask)) return true;
    }
    return false;
}
