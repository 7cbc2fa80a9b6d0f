// Plays the agent's side of the now-playing block from another process: opens
// the block by name, optionally asks the player for its playlist with message
// 9508 first, and writes the block's bytes to a file.
//   agent_probe.exe OUT_FILE [--request]
// Exit code: 0 done, 2 no block, 3 cannot write; with --request the answer
// of the player's window is appended to the file as a 4-byte integer.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "player/nowplaying.h"
#include "wire/protocol.h"

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    const bool request = argc > 2 && !std::strcmp(argv[2], "--request");
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, wire::kNowPlayingName);
    if (!h) return 2;
    auto* block = static_cast<const NowPlayingBlock*>(
        MapViewOfFile(h, FILE_MAP_READ, 0, 0, sizeof(NowPlayingBlock)));
    if (!block) return 2;

    DWORD_PTR answer = 0;
    if (request) {
        HWND player = reinterpret_cast<HWND>(static_cast<uintptr_t>(block->hwndPlayer));
        SendMessageTimeoutA(player, wire::ORVELA_PLAYLIST_REQUEST, 0x1234, 0x5678, SMTO_BLOCK,
                            10000, &answer);
    }
    FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 3;
    std::fwrite(block, 1, sizeof(NowPlayingBlock), f);
    if (request) {
        const int32_t a = static_cast<int32_t>(answer);
        std::fwrite(&a, 1, sizeof a, f);
    }
    std::fclose(f);
    return 0;
}
