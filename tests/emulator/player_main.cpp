// The player emulator as a program, for the demo: hosts gen_orvela.dll and
// in_orvela.dll with a small playlist, chooses "Local network..." so the
// browser opens in its frame, shows its main window with the File menu and
// what the plug-in wrote into the now-playing block, then exits after a while.
//
// With --import ADDRESS it waits for that computer's row in the browser and
// chooses "Get <name>'s playlist" from the row's menu, as a user would. With
// --listen ADDRESS it double-clicks that computer's row: the browser asks its
// agent for permission, appends the stream location and presses Play, and the
// stream plays through in_orvela.dll into the recording output until the
// track ends or the time limit; what the output received is written as WAV.
// With --expect ADDRESS it waits for that computer's row alone; with --group
// N it then moves the browser to user group N through its dialog.
//   player_emulator.exe [--seconds N] [--dll path] [--in-dll path]
//                       [--import ADDRESS] [--listen ADDRESS] [--wav FILE] [--play-seconds N]
//                       [--expect ADDRESS] [--group N]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "browser/listview_win.h"
#include "player/nowplaying.h"
#include "tests/emulator/box_watch.h"
#include "tests/emulator/emulator.h"
#include "tests/emulator/menu_script.h"
#include "tests/emulator/output_module.h"
#include "wire/protocol.h"
#include "wire/tagged_packet.h"

namespace {

std::string DescribeBlock(const NowPlayingBlock& b) {
    char line[600];
    std::string out;
    std::snprintf(line, sizeof line,
                  "hwndPlayer   0x%08X\r\nlistPosition %d\r\nfileName     %s\r\ntitle        "
                  "%s\r\nplaylistSize %u\r\n",
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

// A Unix path given on the command line ("/tmp/x.wav") is on Wine's Z: drive.
std::string WindowsPath(std::string path) {
    if (path.empty() || path[0] != '/') return path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

// What became of the stream, for the window and the summary.
std::string StreamStatus(PlayerEmulator& player, const std::string& location, bool running,
                         DWORD ms) {
    const std::vector<int> open = player.Output().OpenArgs();
    const size_t bytes = player.Output().PcmBytes();
    char line[400];
    std::string out = "Stream " + location + " through in_orvela.dll\r\n";
    if (open.size() < 3) {
        out += "  output       not opened (no answer, refused, or no audio format)\r\n";
    } else {
        const double seconds = double(bytes) / (double(open[0]) * open[1] * open[2] / 8);
        std::snprintf(line, sizeof line,
                      "  output       %d Hz, %d channel(s), %d bits\r\n"
                      "  recorded     %u bytes of PCM, %.3f s\r\n",
                      open[0], open[1], open[2], static_cast<unsigned>(bytes), seconds);
        out += line;
    }
    const bool ended = player.CountReceived(wa::WM_WA_MPEG_EOF, 0) > 0;
    const char* state = running ? "playing"
                        : ended ? "ended by WM_WA_MPEG_EOF, stopped"
                                : "stopped at the time limit";
    std::snprintf(line, sizeof line, "  state        %s after %.1f s\r\n", state, ms / 1000.0);
    out += line;
    return out;
}

// The browser's list in the player's frame, and the row of a computer.
ListView BrowserList(PlayerEmulator& player) {
    HWND dialog = FindWindowExA(player.Frame(), nullptr, "#32770", nullptr);
    return ListView(dialog ? GetDlgItem(dialog, 1007) : nullptr);
}
int RowOf(const ListView& rows, const std::string& address) {
    for (int i = 0; i < rows.Count(); ++i)
        if (const PeerRecord* r = rows.Record(i); r && address == r->address) return i;
    return -1;
}
// A point on the row, scrolled into view first as a user would.
POINT RowPoint(const ListView& rows, int row) {
    SendMessageA(rows.Handle(), LVM_ENSUREVISIBLE, row, FALSE);
    RECT r{};
    rows.RowBounds(row, r);
    return {r.left + 5, (r.top + r.bottom) / 2};
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    int playSeconds = 30;
    std::string dll = "gen_orvela.dll";
    std::string inDll = "in_orvela.dll";
    std::string listen, import, wav, expect, group;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--dll"))
            dll = argv[++i];
        else if (!std::strcmp(argv[i], "--listen"))
            listen = argv[++i];
        else if (!std::strcmp(argv[i], "--import"))
            import = argv[++i];
        else if (!std::strcmp(argv[i], "--wav"))
            wav = WindowsPath(argv[++i]);
        else if (!std::strcmp(argv[i], "--play-seconds"))
            playSeconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--expect"))
            expect = argv[++i];
        else if (!std::strcmp(argv[i], "--group"))
            group = argv[++i];
        else if (!std::strcmp(argv[i], "--in-dll"))
            inDll = argv[++i];
    }
    if (seconds < 0) seconds = 0;
    // Bounded whatever is asked: the demo never waits long for a stream.
    if (playSeconds < 1 || playSeconds > 300) playSeconds = 30;

    // A box the plug-ins show is said and closed after a while, and fails the
    // run: nobody answers the demo's or the two-computer test's screens.
    static bool unanswered = false;
    BoxWatch boxes([](const std::string& caption, const std::string& text) {
        std::printf("a box nobody answered: \"%s\": \"%s\"\n", caption.c_str(), text.c_str());
        std::fflush(stdout);
        unanswered = true;
    });
    PlayerEmulator player({PlayerEmulator::FileMenu::WithSeparator, true});
    player.playlist = {{"C:\\Music\\Nina Simone - Feeling Good.mp3", "Nina Simone - Feeling Good"},
                       {"C:\\Music\\Miles Davis - So What.mp3", "Miles Davis - So What"},
                       {"C:\\Music\\Bill Evans - Peace Piece.mp3", "Bill Evans - Peace Piece"}};
    player.position = 1;
    if (!player.LoadInputPlugin(inDll.c_str())) {
        std::fprintf(stderr, "cannot load %s\n", inDll.c_str());
        return 1;
    }
    if (!player.LoadGeneralPlugin(dll.c_str())) {
        std::fprintf(stderr, "cannot load %s\n", dll.c_str());
        return 1;
    }

    // The user chooses "Local network..." from the File menu.
    SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);

    // What this computer's agent does for a playlist request: ask for the
    // playlist, then read the block by name (shown here as it reads it).
    SendMessageA(player.MainWindow(), wire::ORVELA_PLAYLIST_REQUEST, 0, 0);
    player.PumpUntil([] { return false; }, 3500); // one now-playing tick

    std::string report = "File menu:\r\n";
    for (const auto& t : player.FileMenuTexts())
        report += "  " + t + "\r\n";
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, wire::kNowPlayingName);
    if (h) {
        if (auto* b = static_cast<const NowPlayingBlock*>(
                MapViewOfFile(h, FILE_MAP_READ, 0, 0, sizeof(NowPlayingBlock)))) {
            report += "\r\nNow-playing block " + std::string(wire::kNowPlayingName) + ":\r\n" +
                      DescribeBlock(*b);
            UnmapViewOfFile(b);
        }
        CloseHandle(h);
    }
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);

    RECT rc;
    GetClientRect(player.MainWindow(), &rc);
    HWND text = CreateWindowExA(
        0, "EDIT", report.c_str(), WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 0, 0,
        rc.right, rc.bottom, player.MainWindow(), nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), TRUE);

    // The user waits for the computers to appear, then acts on their rows.
    const ListView rows = BrowserList(player);
    int result = 0;
    std::string summary;
    const auto waitRow = [&](const std::string& address) {
        player.PumpUntil([&] { return RowOf(rows, address) >= 0; }, 15000);
        const int row = RowOf(rows, address);
        if (row < 0) {
            summary += "\r\nNo computer " + address + " appeared in the browser\r\n";
            result = 1;
        } else {
            const PeerRecord* r = rows.Record(row);
            summary += "\r\nRow of " + address + ": " + r->computerName + " | " + r->userName +
                       " | " + r->title + "\r\n";
        }
        return row;
    };
    if (!expect.empty()) waitRow(expect);
    if (!import.empty()) {
        if (const int row = waitRow(import); row >= 0) {
            const size_t before = player.playlist.size();
            const std::string name = rows.Record(row)->computerName;
            MenuScript menu(3); // "Get <name>'s playlist"
            const POINT p = RowPoint(rows, row);
            PostMessageA(rows.Handle(), WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
            SendMessageA(rows.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
            player.PumpUntil([&] { return player.playlist.size() > before; }, 5000);
            summary += "\r\nPlaylist of " + name + " (" + import +
                       "): " + std::to_string(player.playlist.size() - before) +
                       " entries imported\r\n";
            for (size_t i = before; i < player.playlist.size(); ++i)
                summary += "  " + player.playlist[i].file + "\r\n";
            if (player.playlist.size() == before) result = 1;
        }
    }
    std::string location;
    const DWORD playStart = GetTickCount();
    if (!listen.empty()) {
        if (const int row = waitRow(listen); row >= 0) {
            // Read before the click: the list changes while the browser asks.
            const std::string name = rows.Record(row)->computerName;
            const POINT p = RowPoint(rows, row);
            SendMessageA(rows.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
            location = player.played.empty() ? "" : player.played.back();
            summary +=
                "\r\nDouble-click on " + name + " (" + listen + "): " +
                (location.empty() ? "nothing was played" : "the browser played " + location) +
                "\r\n";
            if (location.empty()) result = 1;
        }
    }
    if (!group.empty()) {
        // "User group...", the number typed, OK.
        HWND dialog = FindWindowExA(player.Frame(), nullptr, "#32770", nullptr);
        ModalScript script({[&](HWND d) {
            SetDlgItemTextA(d, 1012, group.c_str());
            SendMessageA(d, WM_COMMAND, IDOK, 0);
        }});
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1012, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1012)));
        std::printf("user group %s: %s\n", group.c_str(),
                    script.done() ? "chosen" : "the dialog did not run");
        std::fflush(stdout);
        if (!script.done()) result = 1;
    }
    std::fputs(summary.c_str(), stdout);
    std::fflush(stdout);
    report += summary;

    // Show the window for the given time, and meanwhile (and beyond it) let
    // the stream play until its track ends or its time is up.
    const DWORD shown = GetTickCount();
    const DWORD showMs = static_cast<DWORD>(seconds) * 1000;
    const DWORD playMs = static_cast<DWORD>(playSeconds) * 1000;
    const bool streaming = !location.empty();
    // The player stops a track that ended; we stop one that ran out of time.
    bool running = streaming;
    DWORD stoppedAfter = 0;
    auto follow = [&] {
        if (!running) return;
        if (GetTickCount() - playStart >= playMs) player.StopPlayback();
        if (!player.Playing()) {
            running = false;
            stoppedAfter = GetTickCount() - playStart;
        }
    };
    // When the first sound reached the output, after the double-click and by
    // the wall clock (milliseconds since 1970), for end-to-end delays.
    DWORD firstSound = 0;
    unsigned long long firstSoundWall = 0;
    auto noteFirstSound = [&] {
        if (firstSound || !streaming || player.Output().PcmBytes() == 0) return;
        firstSound = GetTickCount() - playStart;
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        firstSoundWall =
            ((static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) -
             116444736000000000ull) /
            10000;
        std::printf("first sound %lu ms after the double-click (wall clock %llu ms)\n",
                    static_cast<unsigned long>(firstSound), firstSoundWall);
        std::fflush(stdout);
    };
    auto status = [&] {
        return StreamStatus(player, location, running,
                            running ? GetTickCount() - playStart : stoppedAfter);
    };
    DWORD shownStatus = shown - 1000;
    player.PumpUntil(
        [&] {
            const bool showDone = GetTickCount() - shown >= showMs;
            if (!streaming) return showDone;
            noteFirstSound();
            follow();
            // The stream's progress under the report, for anyone watching.
            if (GetTickCount() - shownStatus >= 250) {
                shownStatus = GetTickCount();
                SetWindowTextA(text, (report + "\r\n" + status()).c_str());
            }
            return showDone && !running;
        },
        showMs + playMs + 1000);

    if (streaming) {
        player.StopPlayback();
        follow();
        std::string end = "\r\n" + status();
        const bool recorded = player.Output().PcmBytes() > 0;
        if (!recorded) {
            end += "  no audio reached the output\r\n";
            result = 1;
        }
        if (!wav.empty()) {
            if (recorded && player.Output().WriteWav(wav)) {
                end += "  wav          " + wav + "\r\n";
            } else {
                end += "  wav          not written: " + wav + "\r\n";
                result = 1;
            }
        }
        std::fputs(end.c_str(), stdout);
        std::fflush(stdout);
    }
    // At exit the player calls quit, then destroys its frames.
    player.QuitGeneralPlugin();
    player.DestroyFrames();
    return unanswered ? 1 : result;
}
