// The presence receiver on Winsock: one multicast socket whose events come to
// the browser window as messages, one datagram read per FD_READ, and one
// heap record posted per accepted presence packet. The group rules and the
// datagram parsing are the portable ones of presence.h.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "base/owners_win.h"
#include "peers/presence.h"

constexpr uint32_t kPresenceCapacity = 1024;

class CPresenceReceiver {
  public:
    CPresenceReceiver();
    // Closes the socket too: a socket left open would go on posting events to
    // a window that may be gone.
    virtual ~CPresenceReceiver() = default;
    CPresenceReceiver(const CPresenceReceiver&) = delete;
    CPresenceReceiver& operator=(const CPresenceReceiver&) = delete;

    // The window that gets WM_PRESENCE_SOCKET and WM_PEER_ANNOUNCED. Not owned.
    void SetNotifyWindow(HWND window) { window_ = window; }

    // Opens, binds and joins a socket on the group that the BROADCAST_IP text
    // ("host:port") and the user group select. 0, or the Winsock error of the
    // step that failed; a socket opened before the failure stays open.
    int Join(const char* addressText, uint8_t userGroup);

    // Closes the socket, if one is open. Records posted for it and not yet
    // taken are freed: they belong to the group just left.
    void Close() {
        socket_.Reset();
        posted_.Clear();
    }

    // The record that a WM_PEER_ANNOUNCED of ours carries as `lParam`, now
    // the caller's; null for any lParam this receiver did not post.
    std::unique_ptr<PeerRecord> Claim(LPARAM lParam) {
        return posted_.Claim(static_cast<uintptr_t>(lParam));
    }

    // One WM_PRESENCE_SOCKET event (its lParam). Call it only for events whose
    // wParam is Socket(): those of a socket closed by a re-join are stale.
    void OnSocketNotify(LPARAM event);

    // Fills a record's texts and port from one datagram of `received` bytes;
    // false when it is refused (see the portable ParsePresence).
    static bool ParsePresence(PeerRecord& record, const uint8_t* buffer, size_t received) {
        return ::ParsePresence(record, buffer, received);
    }

    SOCKET Socket() const { return socket_.Get(); }
    // This computer's address in network byte order, 0 until looked up.
    uint32_t LocalAddress() const { return localAddress_; }

  private:
    void LookUpLocalAddress();
    void ReadOneDatagram();

    HWND window_ = nullptr; // not owned
    UniqueSocket socket_;
    WSABUF buffer_{};
    uint32_t capacity_ = kPresenceCapacity;
    uint32_t localAddress_ = 0;
    std::unique_ptr<char[]> storage_;
    PostedRecords posted_;
};
