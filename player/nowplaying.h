// The now-playing block: a named shared-memory block through which the
// plug-in tells this computer's Orvela agent what the player is doing. The
// layout is a cross-process format, so every offset below is binding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/player_ipc.h"

constexpr size_t kNowPlayingTextRoom = 260;
constexpr size_t kPlaylistPacketRoom = 5120;

struct NowPlayingBlock {
    uint32_t hwndPlayer;  // the player's main window, where the agent sends 9508
    int32_t listPosition; // last position seen by the periodic update; -1 when new
    char fileName[kNowPlayingTextRoom];
    char title[kNowPlayingTextRoom];
    uint32_t playlistSize; // serialised size of playlistPacket, never above 5120
    uint8_t playlistPacket[kPlaylistPacketRoom];
};

static_assert(sizeof(NowPlayingBlock) == 5652);
static_assert(offsetof(NowPlayingBlock, hwndPlayer) == 0);
static_assert(offsetof(NowPlayingBlock, listPosition) == 4);
static_assert(offsetof(NowPlayingBlock, fileName) == 8);
static_assert(offsetof(NowPlayingBlock, title) == 268);
static_assert(offsetof(NowPlayingBlock, playlistSize) == 528);
static_assert(offsetof(NowPlayingBlock, playlistPacket) == 532);

// A block that this process has just created, which the system filled with
// zeros: marks that no position was seen yet, so the player's next update
// writes its texts. Nothing else is written: the name was open to others
// before the creator mapped it, and the player may already have written its
// window and texts there (the player and its agent start together at logon).
void InitNewBlock(NowPlayingBlock& block);

// The 3-second update: refreshes the entry texts when the playlist position
// has moved since the last update; otherwise writes nothing. A null block
// (the mapping could not be made) is skipped.
void UpdateNowPlaying(NowPlayingBlock* block, PlayerIpc& player);

// Writes the whole playlist as a tagged-field packet: tag 0 the entry count,
// tag (i + 1) % 256 the file name of entry i, until a name does not fit.
// Always answers 1, the result the agent's message gets back.
int ExportPlaylist(NowPlayingBlock* block, PlayerIpc& player);
