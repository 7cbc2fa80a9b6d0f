#include "agent/worker_win.h"

#include <mswsock.h>
#include <objbase.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "agent/player_group_win.h"
#include "player/nowplaying_win.h"
#include "wire/group.h"

namespace agent {

namespace {

constexpr uint32_t kPresenceIntervalMs = 1000; // well inside the browser's 4 s age-out
constexpr uint32_t kCapturePollMs = 10;        // while streaming, the capture is read this often
constexpr int kReadsPerTurn = 64;              // a flood of requests cannot starve the stream
constexpr size_t kRequestRoom = 64;            // longer datagrams are no request
constexpr UINT kPlayerAnswerMs = 1000;         // a hung player cannot hold the stream up longer
constexpr DWORD kExitWaitMs = 10000;

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
                         SoundSource& source, HWND notify)
    : settings_(settings), options_(options), source_(source), notify_(notify) {
    presence_.computerName = ComputerName();
    presence_.userName = UserName();
    presence_.requestPort = settings.requestPort;
}

AgentWorker::~AgentWorker() {
    Exit();
}

int AgentWorker::Start() {
    socket_.Reset(socket(AF_INET, SOCK_DGRAM, 0));
    if (!socket_) return WSAGetLastError();
    // Windows reports an ICMP "port unreachable" for an earlier send as a
    // failed receive on a UDP socket; a listener that went away must not
    // disturb everyone else's requests, so that report is switched off.
    BOOL reportResets = FALSE;
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
    socketEvent_.Reset(WSACreateEvent());
    wake_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!socketEvent_ || !wake_) return static_cast<int>(GetLastError());
    if (WSAEventSelect(socket_.Get(), socketEvent_.Get(), FD_READ) != 0) return WSAGetLastError();
    thread_.Reset(CreateThread(nullptr, 0, &ThreadEntry, this, 0, nullptr));
    return thread_ ? 0 : static_cast<int>(GetLastError());
}

void AgentWorker::Exit() {
    if (!thread_) return;
    Command(kExit);
    if (WaitForSingleObject(thread_.Get(), kExitWaitMs) != WAIT_OBJECT_0) {
        Trace("ending the network thread", static_cast<int>(GetLastError()));
        thread_.Release(); // still running: what it uses must stay
        return;
    }
    thread_.Reset();
}

void AgentWorker::Command(int bit) {
    commands_.fetch_or(bit);
    if (wake_) SetEvent(wake_.Get());
}

std::vector<Endpoint> AgentWorker::Listeners() const {
    std::lock_guard<std::mutex> lock(shown_);
    return listeners_;
}

bool AgentWorker::Sharing() const {
    std::lock_guard<std::mutex> lock(shown_);
    return sharing_;
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
        RequestHandler handler(settings_, *this);
        AudioStream stream(*instream::FindAudioFormat(settings_.streamFormat), source_);
        uint32_t nextPresence = GetTickCount();
        while (!(commands_.load() & kExit))
            Turn(handler, stream, nextPresence);
        CloseStreams(handler.Listeners().Clear());
        Publish(handler);
        stream.Stop();
        source_.Close();
    }
    if (SUCCEEDED(com)) CoUninitialize();
}

void AgentWorker::Turn(RequestHandler& handler, AudioStream& stream, uint32_t& nextPresence) {
    const uint32_t before = GetTickCount();
    uint32_t wait = Reached(before, nextPresence) ? 0 : nextPresence - before;
    wait = stream.MsUntilNext(before, handler.Listeners().MsUntilNext(before, wait));
    if (stream.Running()) wait = std::min(wait, kCapturePollMs);
    const HANDLE events[] = {socketEvent_.Get(), wake_.Get()};
    WaitForMultipleObjects(2, events, FALSE, wait);

    const int commands = commands_.fetch_and(kExit);
    if (commands & kStop) CloseStreams(handler.StopSharing());
    if (commands & kShare) handler.ResumeSharing();
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(socket_.Get(), socketEvent_.Get(), &happened); // resets the event
    ReadRequests(handler);

    const uint32_t now = GetTickCount();
    if (Reached(now, nextPresence)) {
        SendPresence();
        nextPresence = now + kPresenceIntervalMs;
    }
    std::vector<Endpoint> pings, dropped;
    handler.Listeners().Tick(now, pings, dropped);
    for (const Endpoint& to : pings)
        SendTo(to, kPing.data(), kPing.size());
    ListenerTable& listeners = handler.Listeners();
    if (!listeners.Empty() && !stream.Running() && !stream.Start(now))
        CloseStreams(listeners.Clear()); // the sound went away since they were let in
    if (listeners.Empty() && stream.Running()) stream.Stop();
    if (!stream.Running() && !handler.Grants().AnyLive(now)) source_.Close();
    stream.Produce(now, [&](const uint8_t* data, size_t size) {
        for (const Listener& l : listeners.All())
            SendTo(l.to, data, size);
    });
    Publish(handler);
}

void AgentWorker::ReadRequests(RequestHandler& handler) {
    for (int i = 0; i < kReadsPerTurn; ++i) {
        char buffer[kRequestRoom];
        sockaddr_in from{};
        int fromLength = sizeof from;
        const int n = recvfrom(socket_.Get(), buffer, sizeof buffer, 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n == SOCKET_ERROR) {
            // A datagram too long for a request is gone with its error; read on.
            if (WSAGetLastError() == WSAEWOULDBLOCK) return;
            continue;
        }
        const Endpoint source{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
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
    SendTo({group.address, group.port}, packet.data(), packet.size());
}

void AgentWorker::CloseStreams(const std::vector<Endpoint>& listeners) {
    for (const Endpoint& to : listeners)
        SendTo(to, kCloseStream.data(), kCloseStream.size());
}

void AgentWorker::Publish(RequestHandler& handler) {
    std::vector<Endpoint> now;
    for (const Listener& l : handler.Listeners().All())
        now.push_back(l.to);
    {
        std::lock_guard<std::mutex> lock(shown_);
        if (now == listeners_ && handler.Sharing() == sharing_) return;
        listeners_ = std::move(now);
        sharing_ = handler.Sharing();
    }
    PostMessageA(notify_, WM_AGENT_LISTENERS, 0, 0);
}

bool AgentWorker::ExportPlaylist(std::vector<uint8_t>& packet) {
    NowPlayingBlock* block = OpenBlock();
    const HWND player = block ? PlayerWindow(*block) : nullptr;
    DWORD_PTR result = 0;
    // The player answers once the whole playlist is in the block.
    if (!player || !SendMessageTimeoutA(player, ORVELA_PLAYLIST_REQUEST, 0, 0,
                                        SMTO_BLOCK | SMTO_ABORTIFHUNG, kPlayerAnswerMs, &result))
        return false;
    auto copy = std::make_unique<NowPlayingBlock>();
    std::memcpy(copy.get(), block, sizeof *copy);
    return PlaylistPacket(*copy, packet);
}

bool AgentWorker::SoundAvailable() {
    return source_.Open();
}

} // namespace agent
