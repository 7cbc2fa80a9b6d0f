// This computer's IPv4 interfaces and their local subnets: the only
// addresses the agent answers or streams to, and the only addresses a
// fetched playlist may name a server by.
#pragma once

#include <cstdint>
#include <vector>

// One IPv4 address of this computer, host byte order.
struct LocalInterface {
    uint32_t address = 0;
    uint32_t mask = 0;
    bool up = false;
    bool multicast = false;
    bool loopback = false;
};

// True for a loopback address (127.0.0.0/8), which always counts as local
// (one computer running both sides), and for a host address of the subnet
// of an interface that is up. A subnet's own address and its broadcast
// address are no host: a stream there would reach every computer on it.
bool OnLocalSubnet(uint32_t address, const std::vector<LocalInterface>& interfaces);
