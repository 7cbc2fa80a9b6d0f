// The agent's network thread: one UDP socket for requests, answers, the
// stream and presence; the request handler, the listeners' pings and the
// audio stream, all driven by the tick count. The user-interface thread
// talks to it only through the calls below.
#pragma once

#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/announce.h"
#include "agent/audio_stream.h"
#include "agent/options.h"
#include "agent/request_handler.h"
#include "base/owners_win.h"

namespace agent {

// Posted to the notification window when who listens, or sharing, changed.
constexpr UINT WM_AGENT_LISTENERS = WM_APP + 2;

class AgentWorker : private AgentHost {
  public:
    AgentWorker(const AgentSettings& settings, const AgentOptions& options, SoundSource& source,
                HWND notify);
    ~AgentWorker() override;
    AgentWorker(const AgentWorker&) = delete;
    AgentWorker& operator=(const AgentWorker&) = delete;

    // Opens and binds the socket and starts the thread; 0 or the error number.
    int Start();
    void StopSharing() { Command(kStop); }
    void ShareAgain() { Command(kShare); }
    // Tells every listener "CLOSE_STREAM" and ends the thread.
    void Exit();

    // For the menu, taken from the thread's last turn.
    std::vector<Endpoint> Listeners() const;
    bool Sharing() const;

  private:
    enum : int { kStop = 1, kShare = 2, kExit = 4 };

    static DWORD WINAPI ThreadEntry(void* self);
    void Run();
    void Turn(RequestHandler& handler, AudioStream& stream, uint32_t& nextPresence);
    void ReadRequests(RequestHandler& handler);
    void SendTo(Endpoint to, const void* data, size_t size);
    void SendPresence();
    void CloseStreams(const std::vector<Endpoint>& listeners);
    void Publish(RequestHandler& handler);
    void Command(int bit);

    // AgentHost
    bool ExportPlaylist(std::vector<uint8_t>& packet) override;
    bool SoundAvailable() override;

    const AgentSettings& settings_;
    const AgentOptions& options_;
    SoundSource& source_;
    HWND notify_; // not owned
    PresenceInfo presence_;
    UniqueSocket socket_;
    UniqueHandle socketEvent_, wake_, thread_;
    std::atomic<int> commands_{0};

    mutable std::mutex shown_; // guards the two below
    std::vector<Endpoint> listeners_;
    bool sharing_ = true;
};

} // namespace agent
