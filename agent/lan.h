// Who is near: the interfaces presence leaves by, and the names that
// computers announce for themselves on the group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wire/interfaces.h"

namespace agent {

// The interfaces presence goes out on: up, able to multicast, not loopback.
std::vector<uint32_t> AnnounceInterfaces(const std::vector<LocalInterface>& interfaces);

// The names computers announce, by address: the latest of each, for consent,
// the notifications and the menu. A name counts only while its computer keeps
// announcing it, as long as a browser would list it. Bounded: the least
// recently heard leaves.
class NameBook {
  public:
    static constexpr size_t kRoom = 256;

    void Heard(uint32_t address, std::string computer, std::string user, uint32_t now);
    // The name `address` announces now, empty when none.
    std::string Computer(uint32_t address, uint32_t now) const;
    // "DESK (ben) at 192.168.1.20", "DESK at ..." without a user name, or the
    // address alone.
    std::string Label(uint32_t address, uint32_t now) const;

  private:
    struct Entry {
        uint32_t address;
        std::string computer, user;
        uint32_t heard;
    };
    const Entry* Find(uint32_t address, uint32_t now) const;
    std::vector<Entry> entries_;
};

// A host-order address as dotted text.
std::string AddressText(uint32_t address);

} // namespace agent
