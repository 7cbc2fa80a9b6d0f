// Who may listen and who listens: the addresses granted by "NEED_STREAM" a
// moment ago, the bounded table of listeners with their PING schedule, and
// the budgets, per sender, that keep a flood of requests from becoming a
// flood of answers.
// Times are tick counts in milliseconds; every comparison survives their
// wrap-around.
#pragma once

#include <cstddef>
#include <cstdint>
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
// Each listener gets "PING" this often, and is dropped when no answer of its
// counted for the silence limit (three unanswered pings). An answer counts
// only from the listener's own address and port, and only this soon after
// the "PING" it answers: the stream plug-in answers at once, while a
// "PING_OK" sent blind from a spoofed address cannot hit the window.
constexpr uint32_t kPingIntervalMs = 2000;
constexpr uint32_t kListenerSilenceMs = 7000;
constexpr uint32_t kPingAnswerMs = 250;

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
    uint32_t lastHeard; // joined, or the last "PING_OK" that counted
    uint32_t nextPing;
    uint32_t pingSent = 0;
    bool awaiting = false; // a "PING" went out and no answer counted yet
};

class ListenerTable {
  public:
    static constexpr size_t kMaxListeners = 4;
    enum class Join { Added, Again, Full };

    // A listener at `to` from `now` on. One already there stays as it was: a
    // repeated "OPEN_STREAM" proves nothing about who receives the stream.
    Join Add(Endpoint to, uint32_t now);
    // "CLOSE_STREAM" from a listener, or its address reporting that nothing
    // listens there; port 0 stands for every port of the address. False when
    // it was none.
    bool Remove(Endpoint to);
    // "PING_OK" from `to`; false when it does not count.
    bool Heard(Endpoint to, uint32_t now);
    // The listeners silent for too long leave into `dropped`; those whose
    // "PING" is due go into `pings` and are scheduled again.
    void Tick(uint32_t now, std::vector<Endpoint>& pings, std::vector<Endpoint>& dropped);
    // Milliseconds until the next ping or drop (at most `limit`).
    uint32_t MsUntilNext(uint32_t now, uint32_t limit) const;
    bool HasAddress(uint32_t address) const;
    // Everyone leaves; answers who was there.
    std::vector<Endpoint> Clear();

    const std::vector<Listener>& All() const { return listeners_; }
    bool Empty() const { return listeners_.empty(); }

  private:
    std::vector<Listener> listeners_;
};

// A token bucket: at most `burst` at once, refilled by `perSecond`.
class Budget {
  public:
    Budget(uint32_t burst, uint32_t perSecond)
        : cap_(burst * 1000ull), perSecond_(perSecond), milli_(cap_) {}
    bool Take(uint32_t now);

  private:
    uint64_t cap_;
    uint32_t perSecond_;
    uint64_t milli_; // tokens in thousandths
    uint32_t last_ = 0;
    bool started_ = false;
};

// A budget per sender address, so one computer's flood spends only its own
// share, and a ceiling over all of them, so a crowd of senders (or of forged
// addresses) cannot make the agent a flood of its own. A sender that has kept
// within its share for a second is answered even while the ceiling is spent,
// and keeps its place in the bounded table while it asks: in a second the
// agent answers at most kRoom shares and the ceiling.
class SenderBudgets {
  public:
    static constexpr size_t kRoom = 16;
    static constexpr uint32_t kSteadyMs = 1000;
    static constexpr uint32_t kIdleMs = 2000; // its own budget is whole again

    SenderBudgets(uint32_t share, uint32_t ceiling) : share_(share), total_(ceiling, ceiling) {}
    bool Take(uint32_t address, uint32_t now);

  private:
    struct Sender {
        uint32_t address;
        Budget own;
        uint32_t since; // joined, or last refused its own share
        uint32_t last;
    };
    Sender* Place(uint32_t address, uint32_t now);

    uint32_t share_;
    Budget total_;
    std::vector<Sender> senders_;
};

} // namespace agent
