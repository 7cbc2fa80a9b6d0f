#include "agent/consent.h"

#include <algorithm>

#include "agent/lan.h"
#include "wire/ipv4.h"

namespace agent {

namespace {

constexpr size_t kNameRoom = 63;

// Names come from other computers' packets: keep them printable and free of
// the list's separators and of the menu's mnemonic mark.
std::string CleanName(std::string name) {
    if (name.size() > kNameRoom) name.resize(kNameRoom);
    for (char& c : name)
        if (c < ' ' || c > '~' || c == ',' || c == '@' || c == '&') c = '_';
    return name;
}

} // namespace

std::vector<AllowedComputer> ParseAllowed(std::string_view text) {
    std::vector<AllowedComputer> out;
    while (!text.empty() && out.size() < Consent::kMaxAllowed) {
        const size_t comma = text.find(',');
        const std::string_view entry = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const size_t at = entry.rfind('@');
        AllowedComputer c;
        if (at == std::string_view::npos || at == 0 ||
            !ParseDottedIpv4(entry.substr(at + 1), c.address))
            continue;
        c.name = CleanName(std::string(entry.substr(0, at)));
        out.push_back(std::move(c));
    }
    return out;
}

std::string FormatAllowed(const std::vector<AllowedComputer>& allowed) {
    std::string out;
    for (const AllowedComputer& c : allowed) {
        if (!out.empty()) out += ',';
        out += c.name + "@" + AddressText(c.address);
    }
    return out;
}

Consent::Consent(ListeningMode mode, std::vector<AllowedComputer> allowed)
    : mode_(mode), allowed_(std::move(allowed)) {}

bool Consent::Permits(uint32_t address, const std::string& name) const {
    if (mode_ != ListeningMode::Ask) return mode_ == ListeningMode::All;
    return std::any_of(allowed_.begin(), allowed_.end(), [&](const AllowedComputer& c) {
        return c.address == address && (name.empty() || CleanName(name) == c.name);
    });
}

bool Consent::Offer(uint32_t address, uint32_t now) {
    if (mode_ != ListeningMode::Ask) return false;
    if (std::find(offers_.begin(), offers_.end(), address) != offers_.end()) return false;
    if (offers_.size() >= kMaxOffers) offers_.erase(offers_.begin());
    offers_.push_back(address);
    if (noticed_ && now - lastNotice_ < kOfferNoticeMs) return false;
    noticed_ = true;
    lastNotice_ = now;
    return true;
}

bool Consent::Allow(uint32_t address, std::string name) {
    std::erase(offers_, address);
    name = CleanName(std::move(name));
    const AllowedComputer entry{name, address};
    if (std::find(allowed_.begin(), allowed_.end(), entry) != allowed_.end()) return false;
    std::erase_if(allowed_,
                  [&](const AllowedComputer& c) { return c.address == address || c.name == name; });
    if (allowed_.size() >= kMaxAllowed) allowed_.erase(allowed_.begin());
    allowed_.push_back(entry);
    return true;
}

bool Consent::Revoke(uint32_t address) {
    return std::erase_if(allowed_, [&](const AllowedComputer& c) { return c.address == address; }) >
           0;
}

} // namespace agent
