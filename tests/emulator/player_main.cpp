// The player emulator as a program, for the demo: hosts gen_orvela.dll with a
// small playlist, chooses "Local network..." so the browser opens in its
// frame, shows its main window with the File menu and what the plug-in
// wrote into the now-playing block, then exits after a while.
//   player_emulator.exe [--seconds N] [--dll path]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/nowplaying.h"
#include "net/agent.h"
#include "net/tagged_packet.h"
#include "tests/emulator/emulator.h"

namespace {

std::string DescribeBlock(const NowPlayingBlock& b) {
    char line[600];
    std::string out;
    std::snprintf(line, sizeof line, "hwndPlayer   0x%08X\r\nlistPosition %d\r\nfileName     %s\r\ntitle        %s\r\nplaylistSize %u\r\n",
                  b.hwndPlayer, b.listPosition, b.fileName, b.title, b.playlistSize);
    out += line;
    CTaggedPacket p;
    if (p.Parse(b.playlistPacket, b.playlistSize)) {
        for (const TaggedField* f = p.First(); f; f = f->next) {
            std::snprintf(line, sizeof line, "  tag %3u: %.*s\r\n", f->tag, f->length,
                          reinterpret_cast<const char*>(f->data));
            out += line;
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    std::string dll = "gen_orvela.dll";
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds")) seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--dll")) dll = argv[++i];
    }

    PlayerEmulator player({PlayerEmulator::FileMenu::WithSeparator, true});
    player.playlist = {{"C:\\Music\\Nina Simone - Feeling Good.mp3", "Nina Simone - Feeling Good"},
                       {"C:\\Music\\Miles Davis - So What.mp3", "Miles Davis - So What"},
                       {"C:\\Music\\Bill Evans - Peace Piece.mp3", "Bill Evans - Peace Piece"}};
    player.position = 1;
    if (!player.LoadGeneralPlugin(dll.c_str())) {
        std::fprintf(stderr, "cannot load %s\n", dll.c_str());
        return 1;
    }

    // The user chooses "Local network..." from the File menu.
    SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);

    // What the agent does: ask for the playlist, then read the block by name.
    SendMessageA(player.MainWindow(), agent::ORVELA_PLAYLIST_REQUEST, 0, 0);
    player.PumpUntil([] { return false; }, 3500); // one now-playing tick

    std::string report = "File menu:\r\n";
    for (const auto& t : player.FileMenuTexts()) report += "  " + t + "\r\n";
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, agent::kNowPlayingName);
    if (h) {
        if (auto* b = static_cast<const NowPlayingBlock*>(MapViewOfFile(h, FILE_MAP_READ, 0, 0, sizeof(NowPlayingBlock)))) {
            report += "\r\nNow-playing block " + std::string(agent::kNowPlayingName) + ":\r\n" + DescribeBlock(*b);
            UnmapViewOfFile(b);
        }
        CloseHandle(h);
    }
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);

    RECT rc;
    GetClientRect(player.MainWindow(), &rc);
    HWND text = CreateWindowExA(0, "EDIT", report.c_str(),
                                WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 0, 0, rc.right,
                                rc.bottom, player.MainWindow(), nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), TRUE);
    player.Pump(static_cast<DWORD>(seconds) * 1000);
    // At exit the player calls quit, then destroys its frames.
    player.QuitGeneralPlugin();
    player.DestroyFrames();
    return 0;
}
