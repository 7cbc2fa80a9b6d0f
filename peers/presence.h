// The portable half of the presence receiver: which multicast group and port
// the BROADCAST_IP text and the user group select, and how one received
// datagram becomes a peer record. The socket side lives in presence_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "wire/group.h"
#include "wire/ipv4.h"
#include "wire/peer_record.h"

// Window messages of the receiver, posted to the browser window.
constexpr unsigned WM_PRESENCE_SOCKET = 0x0400 + 50; // wParam socket, lParam event | error << 16
constexpr unsigned WM_PEER_ANNOUNCED = 0x0400 + 51;  // wParam 0, lParam a new PeerRecord

// The receiver's own timer on the browser window: it reads what waits even
// when no socket notice came, and looks for network interfaces that came up.
constexpr unsigned PRESENCE_TICK_TIMER_ID = 1077;
constexpr uint32_t kPresenceTickMs = 500;
constexpr uint32_t kInterfaceCheckTicks = 6; // every 3 s

// Room of the port text of a packet.
constexpr size_t kPresencePortTextRoom = 19;

// Fills the texts and the port of a record from one datagram of `received`
// bytes. Refuses (false) a datagram whose length header differs from its
// size, one above 1024 bytes, or one whose fields cannot be walked. Texts
// longer than their field are cut to fit and always end with a zero byte.
// The record's address, sharedReachable and lastHeard are left alone.
bool ParsePresence(PeerRecord& record, const uint8_t* buffer, size_t received);

// What one read of the presence socket gave.
enum class ReadOutcome {
    Taken,   // a datagram was read (accepted or refused)
    Dropped, // a datagram was consumed but unreadable (too long, say)
    Empty,   // nothing waits
    Failed,  // the socket failed; another read now would fail the same way
};

// Bounds of one reading turn, for every loop that reads a socket: the
// browser's window and the agent's stream must go on however fast datagrams
// arrive.
constexpr int kReadsPerTurn = 64;
constexpr uint32_t kReadTurnMs = 8;

// Reads every datagram waiting, through `readOne`, until none is left, the
// socket fails, or the turn's bound is reached. True when it stopped at the
// bound: more may wait, and the caller must read again on a later turn,
// because a datagram socket is notified again only after a read, and a
// notice can be lost.
bool ReadWaitingDatagrams(const std::function<ReadOutcome()>& readOne,
                          const std::function<uint32_t()>& clock);

// This computer's own IPv4 addresses (host byte order), from its interfaces
// and its host name: datagrams from any of them are its own.
class OwnAddresses {
  public:
    void Add(uint32_t address);
    bool Contains(uint32_t address) const;
    void Clear() { addresses_.clear(); }
    size_t Count() const { return addresses_.size(); }

  private:
    std::vector<uint32_t> addresses_;
};

// The interfaces (by address, host byte order) that the group has been
// joined on. Each check is given the interfaces up now: it answers those
// still to join, and forgets the ones that went, so they are joined again
// when they come back.
class GroupMemberships {
  public:
    std::vector<uint32_t> ToJoin(const std::vector<uint32_t>& upNow);
    void Joined(uint32_t address) { joined_.push_back(address); }
    void Clear() { joined_.clear(); }
    size_t Count() const { return joined_.size(); }

  private:
    std::vector<uint32_t> joined_;
};

// One received datagram from `source` (host byte order) on a computer whose
// own address is `local` (0 while unknown): a new record carrying the
// source's address, or null when the datagram is our own or is refused.
std::unique_ptr<PeerRecord> ReadPresenceDatagram(const uint8_t* buffer, size_t received,
                                                 uint32_t source, uint32_t local);
// The same, ignoring datagrams from any of this computer's addresses.
std::unique_ptr<PeerRecord> ReadPresenceDatagram(const uint8_t* buffer, size_t received,
                                                 uint32_t source, const OwnAddresses& own);

// The records the receiver posted with WM_PEER_ANNOUNCED that the window has
// not taken yet. The window takes records only by claiming a message's
// value here, so an lParam that some other program or a stale message
// carries is never freed or read; and records whose messages are lost with
// the window's queue are freed here rather than leaked.
// One message is on its way at a time and delivers the oldest records
// waiting, up to kPerMessage: a posted message costs the window system a
// call to post and one to take (under Wine each a round trip to its
// server), so a busy LAN's announcements, most of them unchanged, share them.
class PostedRecords {
  public:
    // A window that takes none holds this many; datagrams beyond are dropped.
    static constexpr size_t kLimit = 256;
    // One message delivers at most this many, so the window answers between.
    static constexpr size_t kPerMessage = 16;

    // Keeps the record until it is claimed, freeing it instead when kLimit
    // records already wait, or when a record of the same address still
    // waits: that one takes this one's contents.
    void Keep(std::unique_ptr<PeerRecord> record);
    // The value of a message to post now: null when none waits or a message
    // is already on its way.
    PeerRecord* ToPost();
    // The message of ToPost()'s value could not be posted: the next ToPost
    // answers again.
    void NotPosted() { onItsWay_ = nullptr; }
    // Whether `posted` is the message on its way, which then delivers the
    // oldest records waiting (Take), up to kPerMessage. The pointer is
    // compared, never followed. The rest wait for ToPost.
    bool Claim(uintptr_t posted);
    // The oldest record waiting, now the caller's; null when none waits.
    std::unique_ptr<PeerRecord> Take();
    // Frees every waiting record: messages still queued for them find nothing.
    void Clear() {
        waiting_.clear();
        onItsWay_ = nullptr;
    }
    size_t Waiting() const { return waiting_.size(); }

  private:
    std::vector<std::unique_ptr<PeerRecord>> waiting_; // oldest first
    const PeerRecord* onItsWay_ = nullptr;             // the front one, while posted
};
