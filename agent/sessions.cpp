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

ListenerTable::Join ListenerTable::Add(Endpoint to, uint32_t now) {
    if (Heard(to, now)) return Join::Again;
    if (listeners_.size() >= kMaxListeners) return Join::Full;
    listeners_.push_back({to, now, now + kPingIntervalMs});
    return Join::Added;
}

bool ListenerTable::Remove(Endpoint to) {
    return std::erase_if(listeners_, [&](const Listener& l) { return l.to == to; }) > 0;
}

bool ListenerTable::Heard(Endpoint to, uint32_t now) {
    for (Listener& l : listeners_)
        if (l.to == to) {
            l.lastHeard = now;
            return true;
        }
    return false;
}

void ListenerTable::Tick(uint32_t now, std::vector<Endpoint>& pings,
                         std::vector<Endpoint>& dropped) {
    std::erase_if(listeners_, [&](const Listener& l) {
        if (!Reached(now, l.lastHeard + kListenerSilenceMs)) return false;
        dropped.push_back(l.to);
        return true;
    });
    for (Listener& l : listeners_) {
        if (!Reached(now, l.nextPing)) continue;
        pings.push_back(l.to);
        l.nextPing = now + kPingIntervalMs;
    }
}

uint32_t ListenerTable::MsUntilNext(uint32_t now, uint32_t limit) const {
    uint32_t wait = limit;
    for (const Listener& l : listeners_)
        for (uint32_t t : {l.nextPing, l.lastHeard + kListenerSilenceMs})
            wait = std::min(wait, Reached(now, t) ? 0u : t - now);
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

bool Budget::Take(uint32_t now) {
    if (started_) {
        const uint64_t elapsed = now - last_;
        milli_ = std::min(cap_, milli_ + elapsed * perSecond_);
    }
    started_ = true;
    last_ = now;
    if (milli_ < 1000) return false;
    milli_ -= 1000;
    return true;
}

} // namespace agent
