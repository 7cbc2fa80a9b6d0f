#include "wire/ipv4.h"

#include <cstddef>

bool ParseDottedIpv4(std::string_view text, uint32_t& hostOrder) {
    uint32_t result = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        const size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3)
            value = value * 10 + static_cast<unsigned>(text[pos++] - '0');
        const size_t digits = pos - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return false;
        result = (result << 8) | value;
    }
    if (pos != text.size()) return false;
    hostOrder = result;
    return true;
}
