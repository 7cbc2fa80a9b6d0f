// rand_s, the system's secret random numbers, before any header brings stdlib.h.
#define _CRT_RAND_S
#include <stdlib.h>

#include "agent/worker_win.h"

#include <mswsock.h>
#include <objbase.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "agent/player_group_win.h"
#include "peers/presence.h"
#include "player/nowplaying_win.h"
#include "wire/group.h"
#include "wire/interfaces_win.h"

namespace agent {

namespace {

constexpr uint32_t kPresenceIntervalMs = 1000; // well inside the browser's 4 s age-out
constexpr uint32_t kCapturePollMs = 10;        // while streaming, the capture is read this often
constexpr size_t kRequestRoom = 64;            // longer datagrams are no request
constexpr UINT kPlayerAnswerMs = 1000;         // a hung player cannot hold the stream up longer
constexpr DWORD kExitWaitMs = 10000;
constexpr uint32_t kInterfacesMs = 3000; // interfaces that come and go are seen this soon
constexpr uint32_t kHearRetryMs = 3000;  // a presence port held elsewhere is tried again
constexpr uint32_t kBindRetryMs = 3000;  // so is the request port, after the first time
// While at the screen without the turn: how soon the turn is tried again
// (the agent handing over gives it up as soon as its session leaves).
constexpr DWORD kTakeRetryMs = 250;
constexpr DWORD kStandbyWaitMs = 1000;

void Trace(const char* what, int error) {
    char line[128];
    wsprintfA(line, "orvela_agent: %s failed, error %d\n", what, error);
    OutputDebugStringA(line);
}

// The player's main window named by the block, when it still exists. The
// block holds it as 32 bits; handles are sign-extended to the pointer size.
HWND PlayerWindow(const NowPlayingBlock& block) {
    const auto hwnd =
        reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(block.hwndPlayer)));
    return hwnd && IsWindow(hwnd) ? hwnd : nullptr;
}

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD n = sizeof name;
    return GetComputerNameA(name, &n) ? std::string(name, n) : std::string();
}

std::string UserName() {
    char name[257] = {}; // UNLEN + 1
    DWORD n = sizeof name;
    return GetUserNameA(name, &n) ? std::string(name) : std::string();
}

} // namespace

AgentWorker::AgentWorker(const AgentSettings& settings, const AgentOptions& options,
                         SoundSource& source, ProfileStore& store, HWND notify, HANDLE turn)
    : settings_(settings), format_(settings.streamFormat), options_(options), source_(source),
      store_(store), notify_(notify), turn_(turn) {
    presence_.computerName = ComputerName();
    presence_.userName = UserName();
    presence_.requestPort = settings.requestPort;
}

AgentWorker::~AgentWorker() {
    if (Exit()) return;
    // The thread still runs: never close what it may use.
    thread_.Release();
    socket_.Release();
    names_.Release();
    socketEvent_.Release();
    namesEvent_.Release();
    wake_.Release();
}

int AgentWorker::Start(bool atScreen) {
    atScreen_ = atScreen;
    socketEvent_.Reset(WSACreateEvent());
    namesEvent_.Reset(WSACreateEvent());
    wake_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    started_.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!socketEvent_ || !namesEvent_ || !wake_ || !started_)
        return static_cast<int>(GetLastError());
    thread_.Reset(CreateThread(nullptr, 0, &ThreadEntry, this, 0, nullptr));
    if (!thread_) return static_cast<int>(GetLastError());
    // The thread decides at once whether it serves; a bind that failed ends it.
    const HANDLE either[] = {started_.Get(), thread_.Get()};
    WaitForMultipleObjects(2, either, FALSE, kExitWaitMs);
    return startError_;
}

void AgentWorker::SetAtScreen(bool atScreen) {
    atScreen_ = atScreen;
    Command(kScreen);
}

void AgentWorker::Configure(const AgentSettings& chosen) {
    {
        Guard guard(shown_);
        chosen_ = chosen;
    }
    Command(kConfigure);
}

int AgentWorker::OpenSocket() {
    socket_.Reset(socket(AF_INET, SOCK_DGRAM, 0));
    if (!socket_) return WSAGetLastError();
    // Windows reports an ICMP "port unreachable" for an earlier send as a
    // failed receive (WSAECONNRESET) from that address: a listener with
    // nothing behind its port is dropped on it. Linux gives an unconnected
    // socket no such report, so under Wine the silence rule alone acts.
    BOOL reportResets = TRUE;
    DWORD returned = 0;
    WSAIoctl(socket_.Get(), SIO_UDP_CONNRESET, &reportResets, sizeof reportResets, nullptr, 0,
             &returned, nullptr, nullptr);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(options_.bind);
    local.sin_port = htons(settings_.requestPort);
    if (bind(socket_.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return WSAGetLastError();
    // Presence stays on the local network, and leaves by the chosen interface.
    const DWORD ttl = 1;
    setsockopt(socket_.Get(), IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl),
               sizeof ttl);
    if (options_.multicastInterface) {
        in_addr via{};
        via.s_addr = htonl(options_.multicastInterface);
        if (setsockopt(socket_.Get(), IPPROTO_IP, IP_MULTICAST_IF,
                       reinterpret_cast<const char*>(&via), sizeof via) != 0)
            return WSAGetLastError();
    }
    if (WSAEventSelect(socket_.Get(), socketEvent_.Get(), FD_READ) != 0) return WSAGetLastError();
    return 0;
}

bool AgentWorker::Exit() {
    if (stuck_) return false;
    if (!thread_) return true;
    Command(kExit);
    if (WaitForSingleObject(thread_.Get(), kExitWaitMs) != WAIT_OBJECT_0) {
        // Still running: it may yet use the socket, the events and this
        // object, so they stay until the process ends.
        OutputDebugStringA("orvela_agent: the network thread did not end; its socket, events "
                           "and state are left to the process's end\n");
        stuck_ = true;
        return false;
    }
    thread_.Reset();
    return true;
}

void AgentWorker::Command(int bit) {
    commands_.fetch_or(bit);
    if (wake_) SetEvent(wake_.Get());
}

void AgentWorker::Consent(const AllowedComputer& who, bool allow) {
    {
        Guard guard(shown_);
        consents_.emplace_back(who, allow);
    }
    Command(kConsent);
}

TrayState AgentWorker::State() const {
    Guard guard(shown_);
    return state_;
}

std::vector<Notification> AgentWorker::TakeNotifications() {
    Guard guard(shown_);
    return std::exchange(notifications_, {});
}

DWORD WINAPI AgentWorker::ThreadEntry(void* self) {
    try {
        static_cast<AgentWorker*>(self)->Run();
    } catch (...) {
        Trace("the network thread", 0);
    }
    return 0;
}

void AgentWorker::Run() {
    // The capture's audio objects live on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        // The ping times must be unpredictable to a sender that forges a
        // listener's address.
        unsigned seed[2] = {GetTickCount(), GetCurrentProcessId()};
        for (unsigned& part : seed)
            rand_s(&part);
        RequestHandler handler(settings_, *this, (uint64_t{seed[0]} << 32) | seed[1]);
        AudioStream stream(*codec::FindAudioFormat(settings_.streamFormat), source_);
        while (!(commands_.load() & kExit)) {
            if (Serve(handler, stream, GetTickCount())) {
                Turn(handler, stream);
                continue;
            }
            DoCommands(handler, stream);
            Publish(handler, false);
            WaitForSingleObject(wake_.Get(), atScreen_ ? kTakeRetryMs : kStandbyWaitMs);
        }
        StandDown(handler, stream);
        if (!decided_) SetEvent(started_.Get());
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

bool AgentWorker::Serve(RequestHandler& handler, AudioStream& stream, uint32_t now) {
    const bool wanted = atScreen_;
    if (!wanted) StandDown(handler, stream);
    if (wanted && !serving_ && (nextTake_ == 0 || Reached(now, nextTake_))) {
        const DWORD taken = WaitForSingleObject(turn_, 0);
        if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) {
            if (const int error = OpenSocket()) {
                socket_.Reset();
                ReleaseMutex(turn_);
                Trace("binding the request port", error);
                nextTake_ = now + kBindRetryMs;
                if (nextTake_ == 0) nextTake_ = 1;
                if (!decided_) {
                    startError_ = error; // the user hears of it, and the agent ends
                    commands_.fetch_or(kExit);
                }
            } else {
                serving_ = true;
                nextPresence_ = now;
                nextInterfaces_ = 0;
            }
        }
    }
    if (!decided_) {
        decided_ = true;
        SetEvent(started_.Get());
    }
    return serving_ && !(commands_.load() & kExit);
}

void AgentWorker::StandDown(RequestHandler& handler, AudioStream& stream) {
    if (!serving_) return;
    CloseStreams(handler.Listeners().Clear());
    stream.Stop();
    source_.Close();
    names_.Reset();
    heardOn_.clear();
    socket_.Reset();
    ReleaseMutex(turn_);
    serving_ = false;
    Publish(handler, false);
}

void AgentWorker::UseChosenFormat(AudioStream& stream) {
    // A new quality starts with the next stream: those listening were told
    // theirs. From then on, "OK~" names it.
    if (stream.Running() || format_ == settings_.streamFormat) return;
    settings_.streamFormat = format_;
    stream.SetFormat(*codec::FindAudioFormat(format_));
}

void AgentWorker::DoCommands(RequestHandler& handler, AudioStream& stream) {
    const int commands = commands_.fetch_and(kExit);
    if (commands & kStop) CloseStreams(handler.StopSharing());
    if (commands & kShare) handler.ResumeSharing();
    if (commands & kConsent) ApplyConsent(handler);
    if (commands & kConfigure) ApplyChoices(handler);
    UseChosenFormat(stream);
    if (commands & kScreen && !atScreen_) StandDown(handler, stream);
}

void AgentWorker::ApplyChoices(RequestHandler& handler) {
    AgentSettings chosen;
    {
        Guard guard(shown_);
        chosen = chosen_;
    }
    std::vector<Endpoint> closed;
    handler.SetListening(chosen.listening, closed, GetTickCount());
    CloseStreams(closed);
    settings_.listening = chosen.listening;
    settings_.grantPlaylist = chosen.grantPlaylist;
    if (chosen.streamFormat >= wire::kMinFormatCode && chosen.streamFormat <= wire::kMaxFormatCode)
        format_ = chosen.streamFormat;
    if (chosen.soundSource != settings_.soundSource) {
        settings_.soundSource = chosen.soundSource;
        source_.Choose(chosen.soundSource);
        soundMissing_ = false; // the new source has not failed yet
    }
    AgentSettings saved = settings_;
    saved.streamFormat = format_;
    saved.allowed = handler.Consents().Allowed();
    Save(SaveUserSettings(store_, saved));
}

void AgentWorker::Save(bool ok) {
    if (ok) return;
    Trace("saving the settings", static_cast<int>(GetLastError()));
    {
        Guard guard(shown_);
        notifications_.push_back({"Orvela agent",
                                  "Your settings could not be saved in " + store_.Where() +
                                      ". They hold until the agent ends.",
                                  {}});
    }
    PostMessageA(notify_, WM_AGENT_LISTENERS, 0, 0);
}

void AgentWorker::Turn(RequestHandler& handler, AudioStream& stream) {
    uint32_t& nextPresence = nextPresence_;
    const uint32_t before = GetTickCount();
    uint32_t wait = Reached(before, nextPresence) ? 0 : nextPresence - before;
    wait = stream.MsUntilNext(before, handler.Listeners().MsUntilNext(before, wait));
    if (stream.Running()) wait = std::min(wait, kCapturePollMs);
    const HANDLE events[] = {socketEvent_.Get(), wake_.Get(), namesEvent_.Get()};
    WaitForMultipleObjects(names_ ? 3 : 2, events, FALSE, wait);

    DoCommands(handler, stream);
    if (!serving_) return; // stood down: the sockets are closed
    ReadInterfaces(handler, before);
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(socket_.Get(), socketEvent_.Get(), &happened); // resets the event
    ReadRequests(handler);
    ReadNames(handler);

    const uint32_t now = GetTickCount();
    if (Reached(now, nextPresence)) {
        SendPresence();
        nextPresence = now + kPresenceIntervalMs;
        HearGroup(now); // the group and the interfaces change only as often
    }
    std::vector<Endpoint> pings, dropped;
    handler.Listeners().Tick(now, pings, dropped);
    for (const Endpoint& to : pings)
        SendTo(to, wire::kPing.data(), wire::kPing.size());
    ListenerTable& listeners = handler.Listeners();
    if (!listeners.Empty() && !stream.Running() && !stream.Start(now))
        CloseStreams(listeners.Clear()); // the sound went away since they were let in
    if (listeners.Empty() && stream.Running()) stream.Stop();
    if (!stream.Running() && !handler.Grants().AnyLive(now)) source_.Close();
    stream.Produce(now, [&](const uint8_t* data, size_t size) {
        for (const Listener& l : listeners.All())
            SendTo(l.to, data, size);
    });
    Publish(handler, Notify(handler));
}

void AgentWorker::ApplyConsent(RequestHandler& handler) {
    std::vector<std::pair<AllowedComputer, bool>> asked;
    {
        Guard guard(shown_);
        asked.swap(consents_);
    }
    bool changed = false;
    std::vector<Endpoint> closed;
    for (const auto& [who, allow] : asked)
        changed |= allow ? handler.Allow(who) : handler.Revoke(who, closed);
    CloseStreams(closed);
    if (changed) Save(SaveAllowed(store_, handler.Consents().Allowed()));
}

void AgentWorker::ReadInterfaces(RequestHandler& handler, uint32_t now) {
    if (nextInterfaces_ != 0 && !Reached(now, nextInterfaces_)) return;
    nextInterfaces_ = now + kInterfacesMs;
    if (nextInterfaces_ == 0) nextInterfaces_ = 1;
    if (!ReadLocalInterfaces(socket_.Get(), interfaces_)) {
        Trace("reading the interfaces", WSAGetLastError()); // the last list stays
        return;
    }
    handler.SetInterfaces(interfaces_);
}

void AgentWorker::HearGroup(uint32_t now) {
    if (group_.address == 0) return; // nothing announced yet
    std::vector<uint32_t> via;
    if (options_.multicastInterface)
        via.push_back(options_.multicastInterface);
    else
        via = AnnounceInterfaces(interfaces_);
    if (via.empty()) via.push_back(INADDR_ANY);
    std::vector<uint32_t> wanted = {group_.address, group_.port};
    wanted.insert(wanted.end(), via.begin(), via.end());
    if (names_ && wanted == heardOn_) return;
    if (!names_ && nextHearing_ != 0 && !Reached(now, nextHearing_)) return;
    names_.Reset();
    heardOn_.clear();
    nextHearing_ = now + kHearRetryMs;
    UniqueSocket s(socket(AF_INET, SOCK_DGRAM, 0));
    // Shared with the player's browser on this computer, which hears the
    // same group: Windows shares a UDP port only between sockets that both ask.
    const BOOL reuse = TRUE;
    setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof reuse);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(group_.port);
    if (!s || bind(s.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        Trace("listening to the group for names", WSAGetLastError());
        return; // tried again in a moment; meanwhile no name is known
    }
    bool joined = false;
    for (uint32_t address : via) {
        ip_mreq membership{};
        membership.imr_multiaddr.s_addr = htonl(group_.address);
        membership.imr_interface.s_addr = htonl(address);
        if (setsockopt(s.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                       reinterpret_cast<const char*>(&membership), sizeof membership) == 0)
            joined = true;
        else
            Trace("joining the group for names", WSAGetLastError());
    }
    if (!joined || WSAEventSelect(s.Get(), namesEvent_.Get(), FD_READ) != 0) return;
    names_ = std::move(s);
    heardOn_ = std::move(wanted);
}

void AgentWorker::ReadNames(RequestHandler& handler) {
    if (!names_) return;
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(names_.Get(), namesEvent_.Get(), &happened);
    for (int i = 0; i < kReadsPerTurn; ++i) {
        char buffer[wire::kMaxPresenceDatagram + 1];
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int n = recvfrom(names_.Get(), buffer, sizeof buffer, 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) break;
        PeerRecord record;
        if (n > 0 &&
            ParsePresence(record, reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n)))
            handler.Names().Heard(ntohl(from.sin_addr.s_addr), record.computerName, record.userName,
                                  GetTickCount());
    }
}

bool AgentWorker::Notify(RequestHandler& handler) {
    std::vector<Notification> ready;
    for (const Notice& n : handler.TakeNotices()) {
        if (n.kind == Notice::Listening)
            ready.push_back({"Orvela agent", ListeningNotice(n.label), {}});
        else if (n.who.name.empty()) // nothing to allow until it announces itself
            ready.push_back({"Orvela agent", AskingNotice(n.label), {}});
        else
            ready.push_back(
                {"Orvela agent", AskingNotice(n.label) + ". Click here to allow it.", n.who});
    }
    if (ready.empty()) return false;
    Guard guard(shown_);
    for (Notification& n : ready)
        notifications_.push_back(std::move(n));
    return true;
}

void AgentWorker::ReadRequests(RequestHandler& handler) {
    for (int i = 0; i < kReadsPerTurn; ++i) {
        char buffer[kRequestRoom];
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int n = recvfrom(socket_.Get(), buffer, sizeof buffer, 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
        const Endpoint source{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        if (n == SOCKET_ERROR) {
            // A datagram too long for a request is gone with its error; read on.
            const int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK) return;
            if (error == WSAECONNRESET && source.address != 0) handler.OnUnreachable(source);
            continue;
        }
        if (source.port == 0) continue;
        const std::vector<uint8_t> answer =
            handler.OnDatagram(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(n),
                               source, GetTickCount());
        if (!answer.empty()) SendTo(source, answer.data(), answer.size());
    }
}

void AgentWorker::SendTo(Endpoint to, const void* data, size_t size) {
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(to.address);
    at.sin_port = htons(to.port);
    if (sendto(socket_.Get(), static_cast<const char*>(data), static_cast<int>(size), 0,
               reinterpret_cast<sockaddr*>(&at), sizeof at) == SOCKET_ERROR)
        Trace("sendto", WSAGetLastError());
}

void AgentWorker::SendPresence() {
    presence_.title.clear();
    presence_.file.clear();
    const NowPlayingBlock* block = OpenBlock();
    const HWND player = block ? PlayerWindow(*block) : nullptr;
    if (player) {
        // The player writes the block while we read it; a copy holds still.
        auto copy = std::make_unique<NowPlayingBlock>();
        std::memcpy(copy.get(), block, sizeof *copy);
        NowPlayingTexts(*copy, presence_.title, presence_.file);
    }
    const std::vector<uint8_t> packet = BuildPresencePacket(presence_);
    char groupAddress[kGroupAddressRoom];
    uint8_t userGroup = 0;
    CurrentGroup(player, settings_, groupAddress, userGroup);
    const PresenceGroup group = ComputePresenceGroup(groupAddress, userGroup);
    group_ = group;
    if (options_.multicastInterface) { // chosen on the command line, set once
        SendTo({group.address, group.port}, packet.data(), packet.size());
        return;
    }
    // Every interface that can carry it, so a VPN or a second card holding
    // the default route does not hide this computer from its LAN; with none
    // known, the system's choice.
    std::vector<uint32_t> via = AnnounceInterfaces(interfaces_);
    if (via.empty()) via.push_back(INADDR_ANY);
    for (uint32_t address : via) {
        in_addr at{};
        at.s_addr = htonl(address);
        if (setsockopt(socket_.Get(), IPPROTO_IP, IP_MULTICAST_IF,
                       reinterpret_cast<const char*>(&at), sizeof at) != 0)
            Trace("choosing the interface for presence", WSAGetLastError());
        SendTo({group.address, group.port}, packet.data(), packet.size());
    }
}

void AgentWorker::CloseStreams(const std::vector<Endpoint>& listeners) {
    for (const Endpoint& to : listeners)
        SendTo(to, wire::kCloseStream.data(), wire::kCloseStream.size());
}

void AgentWorker::Publish(RequestHandler& handler, bool notified) {
    TrayState now;
    const uint32_t tick = GetTickCount();
    NameBook& names = handler.Names();
    for (const Listener& l : handler.Listeners().All())
        now.listening.push_back(
            {l.to.address, names.Computer(l.to.address, tick), names.Label(l.to.address, tick)});
    for (const AllowedComputer& c : handler.Consents().Offers())
        now.offered.push_back({c.address, c.name, ComputerText(c.name, c.address)});
    for (const AllowedComputer& c : handler.Consents().Allowed())
        now.allowed.push_back({c.address, c.name, ComputerText(c.name, c.address)});
    now.sharing = handler.Sharing();
    now.mode = handler.Consents().Mode();
    now.soundMissing = soundMissing_;
    now.standby = !serving_;
    {
        Guard guard(shown_);
        if (now == state_ && !notified) return;
        state_ = std::move(now);
    }
    PostMessageA(notify_, WM_AGENT_LISTENERS, 0, 0);
}

bool AgentWorker::ExportPlaylist(std::vector<uint8_t>& packet) {
    NowPlayingBlock* block = OpenBlock();
    const HWND player = block ? PlayerWindow(*block) : nullptr;
    DWORD_PTR result = 0;
    // The player answers once the whole playlist is in the block.
    if (!player || !SendMessageTimeoutA(player, wire::ORVELA_PLAYLIST_REQUEST, 0, 0,
                                        SMTO_BLOCK | SMTO_ABORTIFHUNG, kPlayerAnswerMs, &result))
        return false;
    auto copy = std::make_unique<NowPlayingBlock>();
    std::memcpy(copy.get(), block, sizeof *copy);
    return PlaylistPacket(*copy, packet);
}

bool AgentWorker::SoundAvailable() {
    const bool open = source_.Open();
    // Said once when it changes, in the tip (at the next publish) and the trace.
    if (open == soundMissing_) {
        soundMissing_ = !open;
        if (!open)
            OutputDebugStringA("orvela_agent: the sound to share cannot be captured; "
                               "listening is refused\n");
    }
    return open;
}

} // namespace agent
