#include "peers/presence_win.h"

#include <ws2tcpip.h>

#include <cstring>
#include <new>
#include <string_view>

namespace {

constexpr size_t kHostNameRoom = 256;
constexpr size_t kAddressTextLimit = 64; // BROADCAST_IP holds at most 29; more is unusable anyway

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

    const std::string_view text =
        addressText ? std::string_view(addressText, strnlen(addressText, kAddressTextLimit))
                    : std::string_view();
    const PresenceGroup group = ComputePresenceGroup(text, userGroup);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(group.port);
    if (bind(socket_.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return WSAGetLastError();

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(group.address);
    target.sin_port = htons(group.port);
    if (WSAJoinLeaf(socket_.Get(), reinterpret_cast<const sockaddr*>(&target), sizeof target,
                    nullptr, nullptr, nullptr, nullptr, JL_RECEIVER_ONLY) != INVALID_SOCKET)
        return 0;
    // Wine's WSAJoinLeaf is a stub that always fails; the plain membership
    // option joins the same group there, and on Windows as well.
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = htonl(group.address);
    membership.imr_interface.s_addr = htonl(INADDR_ANY);
    if (setsockopt(socket_.Get(), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                   reinterpret_cast<const char*>(&membership), sizeof membership) != 0)
        return WSAGetLastError();
    return 0;
}

void CPresenceReceiver::OnSocketNotify(LPARAM event) {
    if (WSAGETSELECTERROR(event) != 0) return;
    switch (WSAGETSELECTEVENT(event)) {
    case FD_READ:
        ReadOneDatagram();
        break;
    default: // a datagram socket has nothing else to act on
        break;
    }
}

void CPresenceReceiver::ReadOneDatagram() {
    if (!socket_ || !storage_) return;
    buffer_.len = capacity_;
    std::memset(storage_.get(), 0, capacity_);
    DWORD received = 0;
    DWORD flags = 0;
    sockaddr_in from{};
    int fromLength = sizeof from;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is dropped
    // with the nothing-to-read cases: only whole datagrams are ever parsed.
    if (WSARecvFrom(socket_.Get(), &buffer_, 1, &received, &flags,
                    reinterpret_cast<sockaddr*>(&from), &fromLength, nullptr,
                    nullptr) == SOCKET_ERROR)
        return;
    if (from.sin_family != AF_INET) return;

    try {
        PeerRecord* posted = posted_.Keep(
            ReadPresenceDatagram(reinterpret_cast<const uint8_t*>(storage_.get()), received,
                                 ntohl(from.sin_addr.s_addr), ntohl(localAddress_)));
        // A post that fails leaves the record ours to free.
        if (posted &&
            !PostMessageA(window_, WM_PEER_ANNOUNCED, 0, reinterpret_cast<LPARAM>(posted)))
            posted_.Claim(reinterpret_cast<uintptr_t>(posted));
    } catch (const std::bad_alloc&) {
        return; // out of memory: this datagram is lost, the next one may fit
    }
}
