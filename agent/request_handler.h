// The agent's side of every request: one datagram in, its answer out (or
// nothing). The plug-ins' words are taken exactly as they send them;
// anything else is no request and gets no answer, so the agent never speaks
// first to an address except for the stream it asked for. Only computers on
// this computer's own subnets get any answer: a forged sender elsewhere
// cannot make the agent send anything to a third party far away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/consent.h"
#include "agent/lan.h"
#include "agent/sessions.h"

namespace agent {

enum class Request { None, GetPlaylist, NeedStream, OpenStream, PingOk, CloseStream };

Request ReadRequest(const uint8_t* data, size_t size);

// The answer that grants "NEED_STREAM" (anything but "DENY" grants).
constexpr std::string_view kGranted = "OK";

// What the handler needs from the computer it runs on.
class AgentHost {
  public:
    virtual ~AgentHost() = default;
    // Has the player write its whole playlist and fills `packet` with it;
    // false when no player runs or it did not answer.
    virtual bool ExportPlaylist(std::vector<uint8_t>& packet) = 0;
    // Whether there is sound to stream; opens the source when it is closed.
    virtual bool SoundAvailable() = 0;
};

// What the user is to hear of: a computer started listening, or one was
// refused for want of consent and may be allowed. `who` is the computer as
// it announced itself then (no name when it announces none); `label` says
// it: "DESK (ben) at 192.168.1.20".
struct Notice {
    enum Kind { Listening, Asking } kind;
    AllowedComputer who;
    std::string label;
    bool operator==(const Notice&) const = default;
};

// At most one notice per computer and event a minute, and one request to
// allow every few seconds whoever asks: requests cost a sender nothing, and
// must not become a stream of notifications.
class NoticeLimiter {
  public:
    static constexpr size_t kRoom = 64;
    static constexpr uint32_t kSameNoticeMs = 60000;
    static constexpr uint32_t kAskingNoticeMs = 5000;

    bool Due(Notice::Kind kind, uint32_t address, uint32_t now);

  private:
    struct Shown {
        Notice::Kind kind;
        uint32_t address, at;
    };
    std::vector<Shown> shown_;
    uint32_t lastAsking_ = 0;
    bool asked_ = false;
};

class RequestHandler {
  public:
    // Answers per sender a second (and as many at once), with some room
    // above the ten a second a computer may ask; and the ceiling over all
    // senders. Playlist answers, which cost a message to the player and up
    // to 5120 bytes each, have budgets of their own.
    static constexpr uint32_t kAnswersPerSender = 12;
    static constexpr uint32_t kAnswersCeiling = 200;
    static constexpr uint32_t kPlaylistsPerSender = 2;
    static constexpr uint32_t kPlaylistsCeiling = 4;

    // `seed` makes the listeners' ping times: the agent gives a secret one.
    RequestHandler(const AgentSettings& settings, AgentHost& host, uint64_t seed = 1)
        : settings_(settings), host_(host), consent_(settings.listening, settings.allowed),
          listeners_(seed) {}

    // The answer to one datagram from `from`; empty when none is due.
    std::vector<uint8_t> OnDatagram(const uint8_t* data, size_t size, Endpoint from, uint32_t now);
    // `from` reported that nothing listens on the port the agent sent to.
    void OnUnreachable(Endpoint from) { listeners_.Remove(from); }
    void SetInterfaces(std::vector<LocalInterface> interfaces) {
        interfaces_ = std::move(interfaces);
    }

    // Allowing from the user, exactly the computer shown: true when the
    // allowed list changed (to be saved). Revoking also ends the streams of
    // that address: the listeners that left go into `closed`.
    bool Allow(const AllowedComputer& who) { return consent_.Allow(who); }
    bool Revoke(const AllowedComputer& who, std::vector<Endpoint>& closed);
    // What happened since the last call, oldest first.
    std::vector<Notice> TakeNotices() { return std::exchange(notices_, {}); }

    // The user chose who may listen: the listeners that may no longer go
    // into `closed` (to be told "CLOSE_STREAM").
    void SetListening(ListeningMode mode, std::vector<Endpoint>& closed, uint32_t now);

    // "Stop sharing sound": listening is refused from now on, and everyone
    // listening leaves (the caller tells them with "CLOSE_STREAM").
    std::vector<Endpoint> StopSharing();
    void ResumeSharing() { sharing_ = true; }
    bool Sharing() const { return sharing_; }

    ListenerTable& Listeners() { return listeners_; }
    const GrantTable& Grants() const { return grants_; }
    const Consent& Consents() const { return consent_; }
    NameBook& Names() { return names_; }

  private:
    std::vector<uint8_t> Answer(Request request, Endpoint from, uint32_t now);
    bool Permitted(uint32_t address, uint32_t now);
    void Tell(Notice::Kind kind, uint32_t address, uint32_t now);

    const AgentSettings& settings_;
    AgentHost& host_;
    Consent consent_;
    NameBook names_;
    std::vector<LocalInterface> interfaces_;
    std::vector<Notice> notices_;
    NoticeLimiter shown_;
    GrantTable grants_;
    ListenerTable listeners_;
    SenderBudgets answers_{kAnswersPerSender, kAnswersCeiling};
    SenderBudgets playlists_{kPlaylistsPerSender, kPlaylistsCeiling};
    bool sharing_ = true;
};

} // namespace agent
