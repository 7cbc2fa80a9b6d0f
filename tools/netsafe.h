// Where the simulator may send. Unicast only to 127.0.0.0/8; multicast only
// out of a loopback interface with TTL 1, so nothing leaves this machine.
#pragma once

#include <cstdint>
#include <string>

namespace netsafe {

// Host byte order.
inline bool IsLoopback(uint32_t addr) {
    return (addr >> 24) == 127;
}
inline bool IsMulticast(uint32_t addr) {
    return (addr >> 28) == 0xE;
}

// Parses dotted IPv4 text to host byte order; false when it is not one.
bool ParseIpv4(const std::string& text, uint32_t& addr);

// Creates a UDP socket bound to `local` (must be loopback) and `port` (0: any).
// Multicast leaves through `local` with TTL 1. Returns -1 and prints why on failure.
int OpenSafeUdp(uint32_t local, uint16_t port);

// Sends only to a loopback address, or to a multicast group from a socket made
// by OpenSafeUdp. Refuses (returns false, prints why) anything else.
bool SafeSendTo(int sock, uint32_t to, uint16_t port, const void* data, size_t len);

} // namespace netsafe
