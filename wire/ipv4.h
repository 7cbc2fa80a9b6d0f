// Dotted IPv4 text, read strictly. Both plug-ins take addresses from peers
// and settings files, and the platform's own parser also accepts octal, hex
// and fewer parts ("010.1" is 8.0.0.1 to it), so such texts are refused
// rather than guessed at.
#pragma once

#include <cstdint>
#include <string_view>

// Four decimal numbers 0..255 without leading zeros, to host byte order.
bool ParseDottedIpv4(std::string_view text, uint32_t& hostOrder);
