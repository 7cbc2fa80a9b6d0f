// Who may listen and who listens: the addresses granted by "NEED_STREAM" a
// moment ago, the bounded table of listeners with their PING schedule, and
// the budgets, per sender, that keep a flood of requests from becoming a
// flood of answers.
// Times are tick counts in milliseconds; every comparison survives their
// wrap-around.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace agent {

// An IPv4 address and UDP port, both in host byte order.
struct Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;
    bool operator==(const Endpoint&) const = default;
};

// True when `t` is at or before `now`.
inline bool Reached(uint32_t now, uint32_t t) {
    return static_cast<int32_t>(now - t) >= 0;
}

// An "OPEN_STREAM" is taken from an address granted within this time.
constexpr uint32_t kGrantWindowMs = 10000;
// Each listener gets "PING" at random intervals and must answer every one
// within kPingAnswerMs, from the port it listens on. A "PING_OK" that answers
// no outstanding "PING" (early, late, repeated, or from another port of its
// address) ends the stream at once: the stream plug-in answers within
// milliseconds and never unasked, while a sender that forges a listener's
// address cannot see the pings and can only guess. A missed ping (a datagram
// lost on the way) is followed by a second one soon after; missing that too
// ends the stream.
constexpr uint32_t kPingMinMs = 1500;
constexpr uint32_t kPingMaxMs = 3500;
constexpr uint32_t kPingRetryMinMs = 300;
constexpr uint32_t kPingRetryMaxMs = 800;
constexpr uint32_t kPingAnswerMs = 500;
constexpr int kPingMissesAllowed = 1;

class GrantTable {
  public:
    static constexpr size_t kRoom = 16;

    // Grants (or renews) an address; a full table forgets its oldest grant.
    void Grant(uint32_t address, uint32_t now);
    bool IsGranted(uint32_t address, uint32_t now) const;
    // Whether any grant is still inside its window.
    bool AnyLive(uint32_t now) const;

  private:
    struct Entry {
        uint32_t address;
        uint32_t at;
    };
    std::vector<Entry> entries_;
};

struct Listener {
    Endpoint to;
    uint32_t nextPing;
    uint32_t pingSent = 0;
    bool awaiting = false; // a "PING" went out and no answer came yet
    int misses = 0;        // pings in a row that went unanswered
};

class ListenerTable {
  public:
    static constexpr size_t kMaxListeners = 4;
    enum class Join { Added, Again, Full };

    // `seed` makes the ping times; the agent gives a secret one.
    explicit ListenerTable(uint64_t seed = 1) : random_(seed) {}

    // A listener at `to` from `now` on. One already there stays as it was: a
    // repeated "OPEN_STREAM" proves nothing about who receives the stream.
    Join Add(Endpoint to, uint32_t now);
    // "CLOSE_STREAM" from a listener, or its address reporting that nothing
    // listens there; port 0 stands for every port of the address. False when
    // it was none.
    bool Remove(Endpoint to);
    // "PING_OK" from `from`: true when it answers that listener's outstanding
    // "PING" in time. Otherwise every stream it could claim to answer for
    // (the endpoint's, or with no listener there, every one of its address)
    // ends, and those listeners go into `ended`.
    bool Heard(Endpoint from, uint32_t now, std::vector<Endpoint>& ended);
    // The listeners that missed too many pings leave into `dropped`; those
    // whose "PING" is due go into `pings`.
    void Tick(uint32_t now, std::vector<Endpoint>& pings, std::vector<Endpoint>& dropped);
    // Milliseconds until the next ping or drop (at most `limit`).
    uint32_t MsUntilNext(uint32_t now, uint32_t limit) const;
    bool HasAddress(uint32_t address) const;
    // Everyone leaves; answers who was there.
    std::vector<Endpoint> Clear();

    const std::vector<Listener>& All() const { return listeners_; }
    bool Empty() const { return listeners_.empty(); }

  private:
    uint32_t Between(uint32_t low, uint32_t high);

    std::vector<Listener> listeners_;
    std::mt19937_64 random_;
};

// Answers shared fairly among the senders heard lately: each sender may take
// its share a second (and as many at once), but never more than an equal
// part of the ceiling, so a crowd of senders (or of forged addresses) cannot
// make the agent a flood of its own, and the heaviest senders are the ones
// cut: a computer asking at a normal pace keeps being answered beside any
// crowd of up to kRoom senders. Beyond kRoom at once, a newcomer starts with
// nothing and earns its part like the others.
class SenderBudgets {
  public:
    static constexpr size_t kRoom = 256;
    static constexpr uint32_t kIdleMs = 2000; // a sender silent this long no longer counts

    SenderBudgets(uint32_t share, uint32_t ceiling) : share_(share), ceiling_(ceiling) {}
    bool Take(uint32_t address, uint32_t now);

  private:
    struct Sender {
        uint32_t address;
        uint64_t milli; // tokens in thousandths
        uint32_t refilled;
        uint32_t last;  // last asked
        uint32_t asked; // requests since `since`: how heavy it is
        uint32_t since;
    };
    Sender* Place(uint32_t address, uint32_t now);

    uint32_t share_, ceiling_;
    std::vector<Sender> senders_;
};

} // namespace agent
