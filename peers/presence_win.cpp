#include "peers/presence_win.h"

#include "wire/interfaces_win.h"

#include <ws2tcpip.h>

#include <chrono>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kHostNameRoom = 256;
constexpr size_t kAddressTextLimit = 64; // BROADCAST_IP holds at most 29; more is unusable anyway

uint32_t Now() {
    return static_cast<uint32_t>(GetTickCount());
}

bool AddMembership(SOCKET s, uint32_t group, uint32_t interfaceAddress) {
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = htonl(group);
    membership.imr_interface.s_addr = htonl(interfaceAddress);
    return setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership),
                      sizeof membership) == 0;
}

} // namespace

CPresenceReceiver::CPresenceReceiver() : storage_(new (std::nothrow) char[kPresenceCapacity]()) {
    buffer_.buf = storage_.get();
    buffer_.len = storage_ ? capacity_ : 0;
}

void CPresenceReceiver::LookUpLocalAddress() {
    char name[kHostNameRoom] = {};
    if (gethostname(name, sizeof name - 1) != 0) return;
    const hostent* host = gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
        !host->h_addr_list[0])
        return;
    std::memcpy(&localAddress_, host->h_addr_list[0], 4);
    // Every address the name has is ours, not only the first.
    for (char** a = host->h_addr_list; *a; ++a) {
        uint32_t address = 0;
        std::memcpy(&address, *a, 4);
        own_.Add(ntohl(address));
    }
}

int CPresenceReceiver::Join(const char* addressText, uint8_t userGroup) {
    // A second Join without Close would otherwise leave the old socket open
    // and still posting events.
    Close();
    if (localAddress_ == 0) LookUpLocalAddress();

    socket_.Reset(WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0,
                             WSA_FLAG_MULTIPOINT_C_LEAF | WSA_FLAG_MULTIPOINT_D_LEAF));
    if (!socket_) return WSAGetLastError();

    if (WSAAsyncSelect(socket_.Get(), window_, WM_PRESENCE_SOCKET,
                       FD_READ | FD_CONNECT | FD_CLOSE) != 0)
        return WSAGetLastError();
    // The tick reads even when a notice is lost, so it runs from here on.
    SetTimer(window_, PRESENCE_TICK_TIMER_ID, kPresenceTickMs, nullptr);

    const std::string_view text =
        addressText ? std::string_view(addressText, strnlen(addressText, kAddressTextLimit))
                    : std::string_view();
    group_ = ComputePresenceGroup(text, userGroup);
    groupText_.assign(text);
    userGroup_ = userGroup;

    // The port is shared with this computer's agent, which hears the group
    // too. Windows shares a UDP port only between sockets that both ask.
    const BOOL reuse = TRUE;
    setsockopt(socket_.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof reuse);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(group_.port);
    if (bind(socket_.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int failed = WSAGetLastError();
        unbound_ = true; // the tick tries again: the port may be free later
        return failed;
    }

    // The default interface first, then every other one that is up.
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(group_.address);
    target.sin_port = htons(group_.port);
    int joined = 0;
    if (WSAJoinLeaf(socket_.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target,
                    nullptr, nullptr, nullptr, nullptr, JL_RECEIVER_ONLY) == INVALID_SOCKET &&
        // Wine's WSAJoinLeaf is a stub that always fails; the plain membership
        // option joins the same group there, and on Windows as well.
        !AddMembership(socket_.Get(), group_.address, INADDR_ANY))
        joined = WSAGetLastError();
    // Without a default interface, any other one will do.
    return JoinInterfaces() ? 0 : joined;
}

bool CPresenceReceiver::JoinInterfaces() {
    std::vector<LocalInterface> interfaces;
    if (!ReadLocalInterfaces(socket_.Get(), interfaces)) {
        OutputDebugStringA("Orvela: the network interfaces could not be listed\n");
        return memberships_.Count() > 0;
    }
    std::vector<uint32_t> up;
    for (const LocalInterface& f : interfaces) {
        // Whatever it can do, an address of one of our interfaces is ours.
        own_.Add(f.address);
        if (f.up && f.multicast && f.address != 0) up.push_back(f.address);
    }
    for (uint32_t address : memberships_.ToJoin(up)) {
        if (AddMembership(socket_.Get(), group_.address, address)) {
            memberships_.Joined(address);
            continue;
        }
        // An interface still joined from before it went down and came back.
        if (WSAGetLastError() == WSAEADDRINUSE)
            memberships_.Joined(address);
        else
            OutputDebugStringA("Orvela: the presence group could not be joined on an interface\n");
    }
    return memberships_.Count() > 0;
}

void CPresenceReceiver::Close() {
    if (window_) KillTimer(window_, PRESENCE_TICK_TIMER_ID);
    socket_.Reset();
    posted_.Clear();
    memberships_.Clear();
    continuationPosted_ = false;
    unbound_ = false;
    ticks_ = 0;
}

void CPresenceReceiver::OnSocketNotify(LPARAM event) {
    // Every notice reads, whatever it says: the socket is notified again
    // only after a read, so a notice left unread (one carrying an error, say)
    // would leave the socket deaf for good.
    if (WSAGETSELECTERROR(event) != 0)
        OutputDebugStringA("Orvela: a presence notice with an error\n");
    continuationPosted_ = false;
    ReadWaiting();
}

void CPresenceReceiver::OnTick() {
    if (unbound_) {
        const std::string text = groupText_;
        Join(text.c_str(), userGroup_);
        return;
    }
    ReadWaiting();
    // Interfaces that came up since: a VPN, a cable plugged in, a resumed
    // laptop. The check lists them all, so it runs only every few ticks.
    if (socket_ && ++ticks_ % kInterfaceCheckTicks == 0) JoinInterfaces();
}

void CPresenceReceiver::ReadWaiting() {
    if (!socket_ || !storage_) return;
    // Every read re-arms the socket's notice, so a turn of many reads would
    // queue as many notices, each worth a turn of its own, and a flood's
    // notices would crowd out the records and the window's own messages.
    // Notices are off while a turn reads; turning them on again posts one
    // when datagrams are still waiting.
    const bool paused = WSAAsyncSelect(socket_.Get(), window_, 0, 0) == 0;
    const bool more = ReadWaitingDatagrams([this] { return ReadOneDatagram(); }, Now);
    PostWaiting();
    const bool rearmed = paused && WSAAsyncSelect(socket_.Get(), window_, WM_PRESENCE_SOCKET,
                                                  FD_READ | FD_CONNECT | FD_CLOSE) == 0;
    // The rest waits for the next turn, so the window answers meanwhile;
    // should no notice come, one of our own asks for it.
    if (more && !rearmed && !continuationPosted_)
        continuationPosted_ = PostMessageA(window_, WM_PRESENCE_SOCKET,
                                           static_cast<WPARAM>(socket_.Get()), FD_READ) != 0;
}

void CPresenceReceiver::PostWaiting() {
    // A post that fails is tried again after the next read or tick.
    if (PeerRecord* first = posted_.ToPost();
        first && !PostMessageA(window_, WM_PEER_ANNOUNCED, 0, reinterpret_cast<LPARAM>(first)))
        posted_.NotPosted();
}

void CPresenceReceiver::Deliver(LPARAM lParam,
                                const std::function<void(std::unique_ptr<PeerRecord>)>& take) {
    if (!posted_.Claim(static_cast<uintptr_t>(lParam))) return;
    const auto start = std::chrono::steady_clock::now();
    for (size_t n = 0; n < PostedRecords::kPerMessage; ++n) {
        std::unique_ptr<PeerRecord> record = posted_.Take();
        if (!record) break;
        take(std::move(record));
        if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(kDeliveryMs))
            break;
    }
    PostWaiting();
}

ReadOutcome CPresenceReceiver::ReadOneDatagram() {
    buffer_.len = capacity_;
    std::memset(storage_.get(), 0, capacity_);
    DWORD received = 0;
    DWORD flags = 0;
    sockaddr_in from{};
    int fromLength = sizeof from;
    if (WSARecvFrom(socket_.Get(), &buffer_, 1, &received, &flags,
                    reinterpret_cast<sockaddr*>(&from), &fromLength, nullptr,
                    nullptr) == SOCKET_ERROR) {
        switch (WSAGetLastError()) {
        case WSAEWOULDBLOCK:
        case WSA_IO_PENDING:
            return ReadOutcome::Empty;
        // A datagram longer than the buffer, or the report of one of our
        // sends that went nowhere: that one is consumed, the next may be fine.
        case WSAEMSGSIZE:
        case WSAECONNRESET:
        case WSAENETRESET:
            return ReadOutcome::Dropped;
        default:
            return ReadOutcome::Failed;
        }
    }
    if (from.sin_family != AF_INET) return ReadOutcome::Dropped;

    try {
        posted_.Keep(ReadPresenceDatagram(reinterpret_cast<const uint8_t*>(storage_.get()),
                                          received, ntohl(from.sin_addr.s_addr), own_));
    } catch (const std::bad_alloc&) {
        // Out of memory: this datagram is lost, the next one may fit.
    }
    return ReadOutcome::Taken;
}
