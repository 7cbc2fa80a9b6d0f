#include "agent/sessions.h"

#include <algorithm>

namespace agent {

namespace {

bool Live(uint32_t grantedAt, uint32_t now) {
    return Reached(now, grantedAt) && now - grantedAt < kGrantWindowMs;
}

} // namespace

void GrantTable::Grant(uint32_t address, uint32_t now) {
    std::erase_if(entries_,
                  [&](const Entry& e) { return e.address == address || !Live(e.at, now); });
    if (entries_.size() >= kRoom) entries_.erase(entries_.begin()); // the oldest
    entries_.push_back({address, now});
}

bool GrantTable::IsGranted(uint32_t address, uint32_t now) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return e.address == address && Live(e.at, now); });
}

bool GrantTable::AnyLive(uint32_t now) const {
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const Entry& e) { return Live(e.at, now); });
}

uint32_t ListenerTable::Between(uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random_);
}

ListenerTable::Join ListenerTable::Add(Endpoint to, uint32_t now) {
    for (const Listener& l : listeners_)
        if (l.to == to) return Join::Again;
    if (listeners_.size() >= kMaxListeners) return Join::Full;
    listeners_.push_back({to, now + Between(kPingMinMs, kPingMaxMs)});
    return Join::Added;
}

bool ListenerTable::Remove(Endpoint to) {
    return std::erase_if(listeners_, [&](const Listener& l) {
               return l.to.address == to.address && (to.port == 0 || l.to.port == to.port);
           }) > 0;
}

bool ListenerTable::Heard(Endpoint from, uint32_t now, std::vector<Endpoint>& ended) {
    for (Listener& l : listeners_) {
        if (l.to != from) continue;
        if (l.awaiting && Reached(now, l.pingSent) && now - l.pingSent <= kPingAnswerMs) {
            l.awaiting = false;
            l.misses = 0;
            l.nextPing = now + Between(kPingMinMs, kPingMaxMs);
            return true;
        }
        ended.push_back(l.to);
        Remove(from);
        return false;
    }
    for (const Listener& l : listeners_)
        if (l.to.address == from.address) ended.push_back(l.to);
    Remove({from.address, 0});
    return false;
}

void ListenerTable::Tick(uint32_t now, std::vector<Endpoint>& pings,
                         std::vector<Endpoint>& dropped) {
    std::erase_if(listeners_, [&](Listener& l) {
        if (!l.awaiting || !Reached(now, l.pingSent + kPingAnswerMs + 1)) return false;
        l.awaiting = false;
        if (++l.misses <= kPingMissesAllowed) {
            l.nextPing = now + Between(kPingRetryMinMs, kPingRetryMaxMs);
            return false;
        }
        dropped.push_back(l.to);
        return true;
    });
    for (Listener& l : listeners_) {
        if (l.awaiting || !Reached(now, l.nextPing)) continue;
        pings.push_back(l.to);
        l.pingSent = now;
        l.awaiting = true;
    }
}

uint32_t ListenerTable::MsUntilNext(uint32_t now, uint32_t limit) const {
    uint32_t wait = limit;
    for (const Listener& l : listeners_) {
        const uint32_t t = l.awaiting ? l.pingSent + kPingAnswerMs + 1 : l.nextPing;
        wait = std::min(wait, Reached(now, t) ? 0u : t - now);
    }
    return wait;
}

bool ListenerTable::HasAddress(uint32_t address) const {
    return std::any_of(listeners_.begin(), listeners_.end(),
                       [&](const Listener& l) { return l.to.address == address; });
}

std::vector<Endpoint> ListenerTable::Clear() {
    std::vector<Endpoint> out;
    for (const Listener& l : listeners_)
        out.push_back(l.to);
    listeners_.clear();
    return out;
}

SenderBudgets::Sender* SenderBudgets::Place(uint32_t address, uint32_t now) {
    // Whether `a` gives up its slot before `b`: the longest silent first,
    // and while everyone asks, the heaviest.
    const auto before = [&](const Sender& a, const Sender& b) {
        const bool aIdle = now - a.last >= kIdleMs, bIdle = now - b.last >= kIdleMs;
        if (aIdle != bIdle) return aIdle;
        return aIdle ? now - a.last > now - b.last : a.asked > b.asked;
    };
    Sender* out = nullptr;
    for (Sender& s : senders_) {
        if (s.address == address) return &s;
        if (!out || before(s, *out)) out = &s;
    }
    // A newcomer starts with its whole budget, unless it pushes out a sender
    // still asking: a crowd that keeps changing addresses gains nothing by it.
    constexpr uint64_t kWhole = UINT64_MAX / 2; // cut to the budget at the first take
    if (senders_.size() < kRoom) {
        senders_.push_back({address, kWhole, now, now, 0, now});
        return &senders_.back();
    }
    *out = {address, now - out->last >= kIdleMs ? kWhole : 0, now, now, 0, now};
    return out;
}

bool SenderBudgets::Take(uint32_t address, uint32_t now) {
    Sender& s = *Place(address, now);
    s.last = now;
    if (now - s.since >= 1000) {
        s.since = now;
        s.asked = 0;
    }
    ++s.asked;
    size_t active = 0;
    for (const Sender& o : senders_)
        active += now - o.last < kIdleMs;
    // Tokens a second, in thousandths: the sender's share, or its part of the ceiling.
    const uint64_t rate = std::min<uint64_t>(share_ * 1000ull, ceiling_ * 1000ull / active);
    const uint64_t cap = std::max<uint64_t>(1000, rate);
    s.milli = std::min(cap, s.milli + uint64_t(now - s.refilled) * rate / 1000);
    s.refilled = now;
    if (s.milli < 1000) return false;
    s.milli -= 1000;
    return true;
}

} // namespace agent
