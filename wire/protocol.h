// What the plug-ins and the Orvela agent say to each other: protocol words,
// ports, message numbers and size limits. Shared by both plug-ins and by the
// peer simulator, so the two sides of every exchange read the same values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wire {

// Protocol words travel as plain ASCII without a terminating zero.
constexpr std::string_view kGetPlaylist = "GET_PLAYLIST";
constexpr std::string_view kPlaylistError = "PLAYLIST_ERROR";
constexpr std::string_view kNeedStream = "NEED_STREAM";
constexpr std::string_view kDeny = "DENY";
constexpr std::string_view kOpenStream = "OPEN_STREAM";
constexpr std::string_view kOk = "OK~"; // followed by one format digit 1..5
constexpr std::string_view kPing = "PING";
constexpr std::string_view kPingOk = "PING_OK";
constexpr std::string_view kCloseStream = "CLOSE_STREAM";

// Presence: one tagged-field packet per multicast datagram.
constexpr const char* kDefaultGroupHost = "225.5.5.0"; // last number replaced by the user group
constexpr const char* kDefaultGroupPort = "5145";
constexpr uint8_t kDefaultUserGroup = 100;
constexpr size_t kMaxPresenceDatagram = 1024;
constexpr uint8_t PRESENCE_USER_NAME = 1;
constexpr uint8_t PRESENCE_COMPUTER_NAME = 2;
constexpr uint8_t PRESENCE_PORT = 3;
constexpr uint8_t PRESENCE_TITLE = 5;
constexpr uint8_t PRESENCE_SHARED_PATH = 6;
// A computer stays listed only while its packets arrive less than this apart.
constexpr uint32_t kPresenceTimeoutMs = 4000;

// Playlist: "GET_PLAYLIST" to the announced port; one answer datagram.
constexpr size_t kMaxPlaylistAnswer = 5120;
constexpr uint8_t PLAYLIST_COUNT_TAG = 0; // entry count as decimal text; names carry (i + 1) % 256

// Permission to listen: "NEED_STREAM", answered by "DENY" or anything else.
constexpr uint16_t kDefaultRequestPort = 5146;
constexpr size_t kMaxPermissionAnswer = 50;

// Stream session.
constexpr uint16_t kDefaultStreamPort = 5150;
constexpr int kMinFormatCode = 1;
constexpr int kMaxFormatCode = 5;
constexpr size_t kMinAudioDatagram = 30; // shorter datagrams are control texts
// (The blocks one audio datagram may carry: kMaxBlocksPerDatagram, with the
// codec that decodes them.)
constexpr uint32_t kStreamSilenceMs = 7000;

// The now-playing block that the agent reads from this computer's player.
constexpr const char* kNowPlayingName = "__ORVELA_FILEINFO__";
constexpr unsigned ORVELA_PLAYLIST_REQUEST = 9508; // sent by the agent to the player's main window

} // namespace wire
