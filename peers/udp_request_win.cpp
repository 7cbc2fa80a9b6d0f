#include "peers/udp_request_win.h"

#include <cstring>

#include "peers/requests.h"

int CUdpRequest::Open(uint32_t capacity, const char* address, uint16_t port, const char* name,
                      HWND notify) {
    Close();
    window_ = notify;
    buffer_.assign(capacity, 0);
    std::memset(name_, 0, sizeof name_);
    if (name) std::memcpy(name_, name, strnlen(name, sizeof name_ - 1));
    peer_ = sockaddr_in{};
    peer_.sin_family = AF_INET;
    peer_.sin_addr.s_addr = inet_addr(address ? address : "");
    peer_.sin_port = htons(port);

    UniqueSocket s(WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, 0));
    if (!s) return WSAGetLastError();
    if (WSAAsyncSelect(s.Get(), window_, WM_PLAYLIST_SOCKET, FD_READ | FD_WRITE) == SOCKET_ERROR)
        return WSAGetLastError();
    socket_ = std::move(s);
    return 0;
}

int CUdpRequest::Send(const void* data, size_t length) {
    if (length > buffer_.size()) return WSAEMSGSIZE;
    std::fill(buffer_.begin(), buffer_.end(), 0);
    std::memcpy(buffer_.data(), data, length);
    WSABUF b{static_cast<ULONG>(length), reinterpret_cast<char*>(buffer_.data())};
    DWORD sent = 0;
    if (WSASendTo(socket_.Get(), &b, 1, &sent, 0, reinterpret_cast<const sockaddr*>(&peer_),
                  sizeof peer_, nullptr, nullptr) == 0)
        return 0;
    const int error = WSAGetLastError();
    return error == WSA_IO_PENDING || error == WSAEWOULDBLOCK ? 0 : error;
}

int CUdpRequest::Receive(size_t& received, bool& none) {
    received = 0;
    none = false;
    std::fill(buffer_.begin(), buffer_.end(), 0);
    WSABUF b{static_cast<ULONG>(buffer_.size()), reinterpret_cast<char*>(buffer_.data())};
    DWORD got = 0, flags = 0;
    sockaddr_in from{};
    int fromLength = sizeof from;
    const bool read =
        WSARecvFrom(socket_.Get(), &b, 1, &got, &flags, reinterpret_cast<sockaddr*>(&from),
                    &fromLength, nullptr, nullptr) == 0;
    const int error = read ? 0 : WSAGetLastError();
    // Only the computer asked answers: a datagram from anyone else (read, or
    // too long to read) is no answer, and the request goes on waiting.
    if (from.sin_family == AF_INET &&
        !IsAnswerFrom(ntohl(peer_.sin_addr.s_addr), ntohs(peer_.sin_port),
                      ntohl(from.sin_addr.s_addr), ntohs(from.sin_port))) {
        std::fill(buffer_.begin(), buffer_.end(), 0);
        none = true;
        return 0;
    }
    if (read) {
        received = got;
        return 0;
    }
    none = error == WSA_IO_PENDING || error == WSAEWOULDBLOCK;
    return none ? 0 : error;
}
