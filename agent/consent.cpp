#include "agent/consent.h"

#include <algorithm>

#include "agent/lan.h"
#include "wire/ipv4.h"

namespace agent {

namespace {

constexpr size_t kNameRoom = 63;

} // namespace

std::string CleanName(std::string name) {
    if (name.size() > kNameRoom) name.resize(kNameRoom);
    for (char& c : name)
        if (c < ' ' || c > '~' || c == ',' || c == '@' || c == '&') c = '_';
    return name;
}

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
    if (name.empty()) return false; // a computer that does not announce itself is asked
    const AllowedComputer who{CleanName(name), address};
    return std::find(allowed_.begin(), allowed_.end(), who) != allowed_.end();
}

void Consent::Offer(const AllowedComputer& who) {
    if (mode_ != ListeningMode::Ask || who.name.empty()) return;
    std::erase_if(offers_, [&](const AllowedComputer& o) { return o.address == who.address; });
    if (offers_.size() >= kMaxOffers) offers_.erase(offers_.begin());
    offers_.push_back({CleanName(who.name), who.address});
}

bool Consent::Allow(const AllowedComputer& asked) {
    const AllowedComputer who{CleanName(asked.name), asked.address};
    std::erase(offers_, who);
    if (who.name.empty() || allowed_.size() >= kMaxAllowed ||
        std::find(allowed_.begin(), allowed_.end(), who) != allowed_.end())
        return false;
    allowed_.push_back(who);
    return true;
}

bool Consent::Revoke(const AllowedComputer& who) {
    return std::erase(allowed_, who) > 0;
}

} // namespace agent
