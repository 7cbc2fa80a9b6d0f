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
    for (const Listener& l : listeners_)
        if (l.to == to) return Join::Again;
    if (listeners_.size() >= kMaxListeners) return Join::Full;
    listeners_.push_back({to, now, now + kPingIntervalMs});
    return Join::Added;
}

bool ListenerTable::Remove(Endpoint to) {
    return std::erase_if(listeners_, [&](const Listener& l) {
               return l.to.address == to.address && (to.port == 0 || l.to.port == to.port);
           }) > 0;
}

bool ListenerTable::Heard(Endpoint to, uint32_t now) {
    for (Listener& l : listeners_)
        if (l.to == to && l.awaiting && Reached(now, l.pingSent) &&
            now - l.pingSent <= kPingAnswerMs) {
            l.lastHeard = now;
            l.awaiting = false;
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
        l.pingSent = now;
        l.awaiting = true;
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

SenderBudgets::Sender* SenderBudgets::Place(uint32_t address, uint32_t now) {
    for (Sender& s : senders_)
        if (s.address == address) return &s;
    if (senders_.size() < kRoom) {
        senders_.push_back({address, Budget(share_, share_), now, now});
        return &senders_.back();
    }
    // A full table gives up only a sender whose own budget is whole again:
    // one that still asks keeps its share, so a crowd of newcomers cannot
    // give a flooder a fresh budget by pushing it out. The newcomers then
    // have only the ceiling.
    Sender* out = nullptr;
    for (Sender& s : senders_)
        if (now - s.last > kIdleMs && (!out || now - s.last > now - out->last)) out = &s;
    if (out) *out = {address, Budget(share_, share_), now, now};
    return out;
}

bool SenderBudgets::Take(uint32_t address, uint32_t now) {
    Sender* s = Place(address, now);
    if (!s) return total_.Take(now);
    s->last = now;
    if (!s->own.Take(now)) {
        s->since = now;
        return false;
    }
    const bool shared = total_.Take(now);
    return shared || now - s->since >= kSteadyMs;
}

} // namespace agent
