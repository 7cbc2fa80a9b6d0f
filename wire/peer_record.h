// One computer heard on the LAN, and the data behind one row of the browser
// list. A plain record of fixed-size, zero-terminated single-byte texts: the
// receiver allocates it zero-filled, the peer table owns it from then on.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kPeerNameRoom = 100;   // computerName, userName
constexpr size_t kPeerPathRoom = 260;   // title, sharedPath
constexpr size_t kPeerAddressRoom = 20; // dotted IPv4, at most 15 characters

struct PeerRecord {
    char computerName[kPeerNameRoom] = {}; // also the host part of probed share paths
    char userName[kPeerNameRoom] = {};
    char title[kPeerPathRoom] = {};
    char sharedPath[kPeerPathRoom] = {}; // as the peer names it, e.g. D:\Music\a.mp3
    int32_t sharedReachable = 0;         // 1 when the share probe opened it from here
    char address[kPeerAddressRoom] = {}; // source of the datagram; the row's key
    uint16_t port = 0;                   // the agent's request port, 0 when not announced
    uint32_t lastHeard = 0;              // tick count of the last packet taken
};

// The same layout in the 32-bit plug-in and in the native tests.
static_assert(offsetof(PeerRecord, userName) == 100);
static_assert(offsetof(PeerRecord, title) == 200);
static_assert(offsetof(PeerRecord, sharedPath) == 460);
static_assert(offsetof(PeerRecord, sharedReachable) == 720);
static_assert(offsetof(PeerRecord, address) == 724);
static_assert(offsetof(PeerRecord, port) == 744);
static_assert(offsetof(PeerRecord, lastHeard) == 748);
static_assert(sizeof(PeerRecord) == 752);
