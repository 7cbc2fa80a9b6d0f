// The agent's network thread: one UDP socket for requests, answers, the
// stream and presence; the request handler, the listeners' pings and the
// audio stream, all driven by the tick count. It serves only while its
// session is at the screen and it holds the computer's turn (a mutex every
// user's agent opens): standing down, it ends the streams, closes its
// sockets and gives the turn up, so the agent of the session at the screen
// can take the ports over. A second socket hears the
// group the agent announces on, for as long as it runs, sharing the port
// with this computer's browser: the names computers announce are what
// consent and the notifications go by. The user-interface thread talks to
// it only through the calls below.
#pragma once

#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/announce.h"
#include "agent/audio_stream.h"
#include "agent/options.h"
#include "agent/request_handler.h"
#include "agent/tray_menu.h"
#include "base/lock.h"
#include "base/owners_win.h"
#include "wire/group.h"

namespace agent {

// Posted to the notification window when the menu's state changed, or a
// notification waits (TakeNotifications).
constexpr UINT WM_AGENT_LISTENERS = WM_APP + 2;

// A notification for the user; `offer` is the computer it shows, which a
// click allows (no name: nothing to allow).
struct Notification {
    std::string title, text;
    AllowedComputer offer;
};

class AgentWorker : private AgentHost {
  public:
    // `turn`: the computer's sharing mutex, taken and given up by the thread.
    AgentWorker(const AgentSettings& settings, const AgentOptions& options, SoundSource& source,
                ProfileStore& store, HWND notify, HANDLE turn);
    ~AgentWorker() override;
    AgentWorker(const AgentWorker&) = delete;
    AgentWorker& operator=(const AgentWorker&) = delete;

    // Starts the thread, which takes the turn when its session is at the
    // screen and nobody holds it, and then binds the socket: 0, or the
    // error number of a bind that failed (the thread has ended then).
    int Start(bool atScreen);
    // Whether this session is at the screen: the thread serves, or stands down.
    void SetAtScreen(bool atScreen);
    // What the user chose in the settings window (who may listen, the
    // sound, the quality, the playlist), applied at once and saved. The
    // quality applies from the next stream on: those listening keep theirs.
    void Configure(const AgentSettings& chosen);
    void StopSharing() { Command(kStop); }
    void ShareAgain() { Command(kShare); }
    void Allow(const AllowedComputer& who) { Consent(who, true); }
    void Revoke(const AllowedComputer& who) { Consent(who, false); }
    // Tells every listener "CLOSE_STREAM" and ends the thread. False when it
    // did not end in time: then this object, its socket and its events must
    // outlive the process's last use of them, so the owner leaks it.
    bool Exit();

    // For the menu, taken from the thread's last turn.
    TrayState State() const;
    std::vector<Notification> TakeNotifications();

  private:
    enum : int { kStop = 1, kShare = 2, kExit = 4, kConsent = 8, kScreen = 16, kConfigure = 32 };

    static DWORD WINAPI ThreadEntry(void* self);
    void Run();
    // Takes or gives up the turn as the screen says; true while serving.
    bool Serve(RequestHandler& handler, AudioStream& stream, uint32_t now);
    int OpenSocket();
    void StandDown(RequestHandler& handler, AudioStream& stream);
    void ApplyChoices(RequestHandler& handler);
    void Save(bool ok);
    void Turn(RequestHandler& handler, AudioStream& stream);
    void DoCommands(RequestHandler& handler, AudioStream& stream);
    void UseChosenFormat(AudioStream& stream);
    void ApplyConsent(RequestHandler& handler);
    void ReadRequests(RequestHandler& handler);
    void ReadInterfaces(RequestHandler& handler, uint32_t now);
    // Keeps the presence listener on the group and interfaces announced on.
    void HearGroup(uint32_t now);
    void ReadNames(RequestHandler& handler);
    bool Notify(RequestHandler& handler); // true when one is ready
    void SendTo(Endpoint to, const void* data, size_t size);
    void SendPresence();
    void CloseStreams(const std::vector<Endpoint>& listeners);
    void Publish(RequestHandler& handler, bool notified);
    void Command(int bit);
    void Consent(const AllowedComputer& who, bool allow);

    // AgentHost
    bool ExportPlaylist(std::vector<uint8_t>& packet) override;
    bool SoundAvailable() override;
    bool soundMissing_ = false; // the last attempt to open the sound failed

    AgentSettings settings_; // the thread's, the request handler's
    int format_;             // the quality chosen: the next stream's
    const AgentOptions& options_;
    SoundSource& source_;
    ProfileStore& store_;
    HWND notify_; // not owned
    HANDLE turn_; // not owned
    PresenceInfo presence_;
    UniqueSocket socket_, names_;
    UniqueHandle socketEvent_, namesEvent_, wake_, thread_, started_;
    std::atomic<int> commands_{0};
    std::atomic<bool> atScreen_{true};
    int startError_ = 0; // set by the thread before it signals started_
    bool stuck_ = false;

    // The network thread's own.
    bool serving_ = false, decided_ = false;
    uint32_t nextTake_ = 0; // a bind that failed is tried again then
    uint32_t nextPresence_ = 0;
    std::vector<LocalInterface> interfaces_;
    uint32_t nextInterfaces_ = 0;
    PresenceGroup group_;           // announced on
    std::vector<uint32_t> heardOn_; // the names socket's group address and interfaces
    uint32_t nextHearing_ = 0;      // after a failure, tried again then

    mutable Lock shown_; // guards the three below
    TrayState state_;
    std::vector<Notification> notifications_;
    std::vector<std::pair<AllowedComputer, bool>> consents_; // who, allow
    AgentSettings chosen_;                                   // from Configure
};

} // namespace agent
