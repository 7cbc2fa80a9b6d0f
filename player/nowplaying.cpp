#include "player/nowplaying.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "sdk/wa_ipc.h"
#include "wire/protocol.h"
#include "wire/tagged_packet.h"

void InitNewBlock(NowPlayingBlock& block) {
    block.listPosition = -1;
}

void UpdateNowPlaying(NowPlayingBlock* block, PlayerIpc& player) {
    if (!block) return;
    const int position = static_cast<int>(player.Send(wa::IPC_GETLISTPOS, 0));
    if (position == block->listPosition) return;
    // The position goes first: a reader that sees it change knows texts follow.
    block->listPosition = position;
    if (const char* file = player.Text(wa::IPC_GETPLAYLISTFILE, position))
        CopyText(block->fileName, file);
    if (const char* title = player.Text(wa::IPC_GETPLAYLISTTITLE, position))
        CopyText(block->title, title);
}

int ExportPlaylist(NowPlayingBlock* block, PlayerIpc& player) {
    if (!block) return 1;
    const int count = static_cast<int>(player.Send(wa::IPC_GETLISTLENGTH, 0));
    char countText[10];
    std::snprintf(countText, sizeof countText, "%d", count);

    CTaggedPacket packet;
    packet.AddField(wire::PLAYLIST_COUNT_TAG, countText,
                    static_cast<uint16_t>(std::strlen(countText)));
    for (int i = 0; i < count; ++i) {
        const char* name = player.Text(wa::IPC_GETPLAYLISTFILE, i);
        // A player that has no name for an index below the count gets no field
        // for it; the reader sees the gap through the entry tags.
        if (!name) continue;
        const size_t length = std::strlen(name);
        // The first name that does not fit ends the list; shorter later ones
        // are not tried, so the list stays a prefix of the playlist.
        if (packet.GetSize() + length + CTaggedPacket::kFieldOverhead > kPlaylistPacketRoom) break;
        packet.AddField(static_cast<uint8_t>((i + 1) % 256), name, static_cast<uint16_t>(length));
    }
    block->playlistSize = packet.GetSize();
    packet.Serialize(block->playlistPacket);
    return 1;
}
