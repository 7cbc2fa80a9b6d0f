#include "agent/lan.h"

#include <algorithm>

#include "wire/protocol.h"

namespace agent {

std::vector<uint32_t> AnnounceInterfaces(const std::vector<LocalInterface>& interfaces) {
    std::vector<uint32_t> out;
    for (const LocalInterface& i : interfaces)
        if (i.up && i.multicast && !i.loopback && i.address != 0 &&
            std::find(out.begin(), out.end(), i.address) == out.end())
            out.push_back(i.address);
    return out;
}

void NameBook::Heard(uint32_t address, std::string computer, std::string user, uint32_t now) {
    auto at = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.address == address; });
    if (at == entries_.end()) {
        if (entries_.size() >= kRoom)
            at = std::min_element(entries_.begin(), entries_.end(), [&](auto& a, auto& b) {
                return now - a.heard > now - b.heard; // the longest silent first
            });
        else
            at = entries_.insert(entries_.end(), Entry{});
    }
    *at = {address, std::move(computer), std::move(user), now};
}

const NameBook::Entry* NameBook::Find(uint32_t address, uint32_t now) const {
    for (const Entry& e : entries_)
        if (e.address == address)
            return now - e.heard < wire::kPresenceTimeoutMs && !e.computer.empty() ? &e : nullptr;
    return nullptr;
}

std::string NameBook::Computer(uint32_t address, uint32_t now) const {
    const Entry* e = Find(address, now);
    return e ? e->computer : std::string();
}

std::string NameBook::Label(uint32_t address, uint32_t now) const {
    const Entry* e = Find(address, now);
    if (!e) return AddressText(address);
    return (e->user.empty() ? e->computer : e->computer + " (" + e->user + ")") + " at " +
           AddressText(address);
}

std::string AddressText(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

} // namespace agent
