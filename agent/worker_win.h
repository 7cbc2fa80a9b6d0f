// The agent's network thread: one UDP socket for requests, answers, the
// stream and presence; the request handler, the listeners' pings and the
// audio stream, all driven by the tick count. A second socket listens to the
// group for a moment when a notification needs a computer's name. The
// user-interface thread talks to it only through the calls below.
#pragma once

#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/announce.h"
#include "agent/audio_stream.h"
#include "agent/options.h"
#include "agent/request_handler.h"
#include "agent/tray_menu.h"
#include "base/owners_win.h"

namespace agent {

// Posted to the notification window when the menu's state changed, or a
// notification waits (TakeNotifications).
constexpr UINT WM_AGENT_LISTENERS = WM_APP + 2;

// A notification for the user; `offer` is the address to allow when the
// user clicks it (0: nothing to allow).
struct Notification {
    std::string title, text;
    uint32_t offer = 0;
};

class AgentWorker : private AgentHost {
  public:
    AgentWorker(const AgentSettings& settings, const AgentOptions& options, SoundSource& source,
                ProfileStore& store, HWND notify);
    ~AgentWorker() override;
    AgentWorker(const AgentWorker&) = delete;
    AgentWorker& operator=(const AgentWorker&) = delete;

    // Opens and binds the socket and starts the thread; 0 or the error number.
    int Start();
    void StopSharing() { Command(kStop); }
    void ShareAgain() { Command(kShare); }
    void Allow(uint32_t address) { Consent(address, true); }
    void Revoke(uint32_t address) { Consent(address, false); }
    // Tells every listener "CLOSE_STREAM" and ends the thread. False when it
    // did not end in time: then this object, its socket and its events must
    // outlive the process's last use of them, so the owner leaks it.
    bool Exit();

    // For the menu, taken from the thread's last turn.
    TrayState State() const;
    std::vector<Notification> TakeNotifications();

  private:
    enum : int { kStop = 1, kShare = 2, kExit = 4, kConsent = 8 };
    struct Pending {
        Notice notice;
        uint32_t deadline; // shown then even without a name
    };

    static DWORD WINAPI ThreadEntry(void* self);
    void Run();
    void Turn(RequestHandler& handler, AudioStream& stream, uint32_t& nextPresence);
    void ApplyConsent(RequestHandler& handler);
    void ReadRequests(RequestHandler& handler);
    void ReadInterfaces(RequestHandler& handler, uint32_t now);
    void ListenForNames(uint32_t now);
    void ReadNames(RequestHandler& handler);
    bool Notify(RequestHandler& handler, uint32_t now); // true when one is ready
    void SendTo(Endpoint to, const void* data, size_t size);
    void SendPresence();
    void CloseStreams(const std::vector<Endpoint>& listeners);
    void Publish(RequestHandler& handler, bool notified);
    void Command(int bit);
    void Consent(uint32_t address, bool allow);

    // AgentHost
    bool ExportPlaylist(std::vector<uint8_t>& packet) override;
    bool SoundAvailable() override;
    bool soundMissing_ = false; // the last attempt to open the sound failed

    const AgentSettings& settings_;
    const AgentOptions& options_;
    SoundSource& source_;
    ProfileStore& store_;
    HWND notify_; // not owned
    PresenceInfo presence_;
    UniqueSocket socket_, names_;
    UniqueHandle socketEvent_, namesEvent_, wake_, thread_;
    std::atomic<int> commands_{0};
    bool stuck_ = false;

    // The network thread's own.
    std::vector<LocalInterface> interfaces_;
    uint32_t nextInterfaces_ = 0;
    uint32_t namesUntil_ = 0;
    std::vector<Pending> pending_;

    mutable std::mutex shown_; // guards the three below
    TrayState state_;
    std::vector<Notification> notifications_;
    std::vector<std::pair<uint32_t, bool>> consents_; // address, allow
};

} // namespace agent
