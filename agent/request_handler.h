// The agent's side of every request: one datagram in, its answer out (or
// nothing). The plug-ins' words are taken exactly as they send them;
// anything else is no request and gets no answer, so the agent never speaks
// first to an address except for the stream it asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "agent/agent_settings.h"
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

class RequestHandler {
  public:
    // Answers at most this many a second (and as many at once). Playlist
    // answers, which cost a message to the player and up to 5120 bytes each,
    // have a budget of their own.
    static constexpr uint32_t kAnswersPerSecond = 50;
    static constexpr uint32_t kPlaylistBurst = 3;
    static constexpr uint32_t kPlaylistsPerSecond = 2;

    RequestHandler(const AgentSettings& settings, AgentHost& host)
        : settings_(settings), host_(host) {}

    // The answer to one datagram from `from`; empty when none is due.
    std::vector<uint8_t> OnDatagram(const uint8_t* data, size_t size, Endpoint from, uint32_t now);

    // "Stop sharing sound": listening is refused from now on, and everyone
    // listening leaves (the caller tells them with "CLOSE_STREAM").
    std::vector<Endpoint> StopSharing();
    void ResumeSharing() { sharing_ = true; }
    bool Sharing() const { return sharing_; }

    ListenerTable& Listeners() { return listeners_; }
    const GrantTable& Grants() const { return grants_; }

  private:
    std::vector<uint8_t> Answer(Request request, Endpoint from, uint32_t now);

    const AgentSettings& settings_;
    AgentHost& host_;
    GrantTable grants_;
    ListenerTable listeners_;
    Budget answers_{kAnswersPerSecond, kAnswersPerSecond};
    Budget playlists_{kPlaylistBurst, kPlaylistsPerSecond};
    bool sharing_ = true;
};

} // namespace agent
