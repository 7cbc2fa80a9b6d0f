// The browser's one request socket: "GET_PLAYLIST" to one peer and its
// answer, driven by WSAAsyncSelect events (WM_PLAYLIST_SOCKET) on the
// user-interface thread. A new Open abandons the previous request: its
// socket is closed, so a late answer to it is never seen.
#pragma once

#include <winsock2.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/owners_win.h"

class CUdpRequest {
  public:
    CUdpRequest() = default;
    CUdpRequest(const CUdpRequest&) = delete;
    CUdpRequest& operator=(const CUdpRequest&) = delete;

    // A zeroed buffer of `capacity` bytes and an unbound socket for the peer
    // at `address`:`port`, registered for FD_READ and FD_WRITE to `notify`.
    // 0, or the Winsock error of the call that failed (nothing stays open).
    int Open(uint32_t capacity, const char* address, uint16_t port, const char* name, HWND notify);
    void Close() { socket_.Reset(); }

    // One datagram to the peer; 0 or a Winsock error. Would-block counts as
    // sent: the datagram is dropped as on any lossy network.
    int Send(const void* data, size_t length);
    // Reads one datagram into the zeroed buffer. 0 with `received` its size,
    // or a Winsock error: WSAEMSGSIZE for one larger than the buffer. No
    // waiting datagram answers 0 with `received` 0 and `none` set.
    int Receive(size_t& received, bool& none);

    SOCKET Socket() const { return socket_.Get(); }
    const uint8_t* Buffer() const { return buffer_.data(); }
    const char* PeerName() const { return name_; }

  private:
    UniqueSocket socket_;
    std::vector<uint8_t> buffer_;
    HWND window_ = nullptr; // not owned
    sockaddr_in peer_{};
    char name_[60] = {};
};
