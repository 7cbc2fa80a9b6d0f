// What the browser asks a peer's agent, and what the answers mean: the
// playlist request and the permission to listen. Bytes in, meaning out; the
// sockets live in the shell (udp_request_win.cpp, listen_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/wa_ipc.h"
#include "wire/protocol.h"

// The playlist request's socket events, posted to the browser window:
// wParam the socket, lParam the event in the low word and an error in the high.
constexpr unsigned WM_PLAYLIST_SOCKET = 0x0400 + 60;

// How long the user-interface thread waits for the answer to "NEED_STREAM".
// A peer that never answers ends the wait with WSAETIMEDOUT.
constexpr uint32_t kPermissionTimeoutMs = 3000;

constexpr char kPlaylistCaption[] = "'Get playlist' result";
constexpr char kPermissionErrorCaption[] = "Error";
constexpr char kRefusalCaption[] = "Result on play";

// How a computer's name is shown in messages and menus: lower case with the
// first character in upper case when it is a letter ("JOHN-PC" gives
// "John-pc", "1STFLOOR" gives "1stfloor"), at most 99 characters.
std::string DisplayName(const char* computerName);

// What one answer to "GET_PLAYLIST" asks of the browser.
struct PlaylistOutcome {
    enum class Kind { Refused, NoPlaylist, NothingShared, Import };
    Kind kind = Kind::NothingShared;
    // Import: the entries in tag order. As read, the peer names them; once
    // reached, each is the network name that opened it, short enough for the
    // player's file-name block.
    std::vector<std::string> entries;
    // The text of the message box; empty for Import, which shows nothing.
    std::string message;
};

// Reads the `size` bytes of one answer from the peer named `peerName`.
// "DENY" and "PLAYLIST_ERROR" are exact words; anything else is a playlist
// packet: field 0 the entry count (decimal, at most 255 entries are
// addressable by a one-byte tag), fields 1 to the count the entries. Missing
// fields are skipped; the entries found are still to be reached.
PlaylistOutcome ReadPlaylistAnswer(const uint8_t* data, size_t size, const char* peerName);

// What an import adds once its entries were tried: `reached` holds, for
// each entry read, the network name that opened it or "". Nothing reached
// is "nothing shared".
PlaylistOutcome KeepReachedEntries(const std::vector<std::string>& reached, const char* peerName);

// "Failed. Error = %u": a receive error of the playlist request.
std::string RequestFailureMessage(unsigned error);

// The permission to listen: exactly "DENY" refuses, anything else grants.
bool IsRefusal(const uint8_t* answer, size_t size);
std::string RefusalMessage(const char* computerName);
// "Error on getting permission. Error = %u".
std::string PermissionErrorMessage(unsigned error);

// Whether a datagram from `from` answers a request sent to `asked` (host
// byte order): only the computer asked answers, from the port asked. Every
// loopback address is this computer, and no other computer can send from
// one (Wine sends from 127.0.0.1 whatever loopback address a socket is
// bound to).
bool IsAnswerFrom(uint32_t asked, uint16_t askedPort, uint32_t from, uint16_t fromPort);

// The port a permission request goes to: the announced one, else the
// agent's default request port.
uint16_t PermissionPort(uint16_t announced);
