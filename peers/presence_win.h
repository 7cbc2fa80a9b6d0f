// The presence receiver on Winsock: one multicast socket, joined on every
// interface that can multicast, whose events come to the browser window as
// messages; each notice, and a regular tick, reads every datagram waiting,
// and one heap record is kept per accepted presence packet, delivered to the
// window with the others waiting by one WM_PEER_ANNOUNCED at a time. The group rules and the
// datagram parsing are the portable ones of presence.h.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/owners_win.h"
#include "peers/presence.h"
#include "wire/protocol.h"

constexpr uint32_t kPresenceCapacity = static_cast<uint32_t>(wire::kMaxPresenceDatagram);
// How long one message delivers records for, so the window answers between.
constexpr int kDeliveryMs = 8;

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
    // ("host:port") and the user group select, on every interface up, and
    // starts the tick (PRESENCE_TICK_TIMER_ID) on the window. 0, or the
    // Winsock error of the step that failed; a socket opened before the
    // failure stays open, and a port that could not be bound is tried again
    // at every tick.
    int Join(const char* addressText, uint8_t userGroup);

    // Closes the socket, if one is open, and stops the tick. Records posted
    // for it and not yet taken are freed: they belong to the group just left.
    void Close();

    // Hands `take` the records that a WM_PEER_ANNOUNCED of ours delivers
    // (its `lParam`), oldest first, each now the caller's: up to
    // PostedRecords::kPerMessage, and no more once kDeliveryMs have gone.
    // Nothing for an lParam this receiver did not post. Records still
    // waiting get a message of their own.
    void Deliver(LPARAM lParam, const std::function<void(std::unique_ptr<PeerRecord>)>& take);

    // One WM_PRESENCE_SOCKET event (its lParam). Call it only for events whose
    // wParam is Socket(): those of a socket closed by a re-join are stale.
    void OnSocketNotify(LPARAM event);
    // PRESENCE_TICK_TIMER_ID: reads what waits even if no notice came, and
    // now and then joins the group on interfaces that came up since.
    void OnTick();

    // Fills a record's texts and port from one datagram of `received` bytes;
    // false when it is refused (see the portable ParsePresence).
    static bool ParsePresence(PeerRecord& record, const uint8_t* buffer, size_t received) {
        return ::ParsePresence(record, buffer, received);
    }

    SOCKET Socket() const { return socket_.Get(); }
    // This computer's address in network byte order, 0 until looked up.
    uint32_t LocalAddress() const { return localAddress_; }
    // The interfaces the group is joined on besides the default one.
    size_t JoinedInterfaces() const { return memberships_.Count(); }

  private:
    void LookUpLocalAddress();
    // Joins the group on the interfaces up now that it is not joined on yet;
    // false when it is joined on none of them.
    bool JoinInterfaces();
    void ReadWaiting();
    // Posts WM_PEER_ANNOUNCED for the waiting records when none is on its way.
    void PostWaiting();
    ReadOutcome ReadOneDatagram();

    HWND window_ = nullptr; // not owned
    UniqueSocket socket_;
    WSABUF buffer_{};
    uint32_t capacity_ = kPresenceCapacity;
    uint32_t localAddress_ = 0;
    std::unique_ptr<char[]> storage_;
    PostedRecords posted_;
    PresenceGroup group_;
    OwnAddresses own_;
    GroupMemberships memberships_;
    bool continuationPosted_ = false; // a notice of our own waits in the queue
    bool unbound_ = false;            // the port was taken: Join again at the tick
    std::string groupText_;
    uint8_t userGroup_ = 0;
    uint32_t ticks_ = 0;
};
