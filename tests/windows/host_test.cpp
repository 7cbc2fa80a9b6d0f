// gen_orvela hosted by the player emulator: the menu item, the hook's
// dispatch, and the now-playing block as the agent sees it.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "player/nowplaying.h"
#include "tests/emulator/emulator.h"
#include "wire/protocol.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr UINT kPlaylistRequest = 9508;

// Reads the block by name, as the agent does.
Bytes ReadBlock() {
    Bytes out;
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, "__ORVELA_FILEINFO__");
    if (!h) return out;
    if (const void* v = MapViewOfFile(h, FILE_MAP_READ, 0, 0, 5652)) {
        out.assign(static_cast<const uint8_t*>(v), static_cast<const uint8_t*>(v) + 5652);
        UnmapViewOfFile(v);
    }
    CloseHandle(h);
    return out;
}

uint32_t U32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
std::string Str(const Bytes& b, size_t at) {
    return reinterpret_cast<const char*>(&b[at]);
}

struct Hosted : ::testing::Test {
    PlayerEmulator player;
    winampGeneralPurposePlugin* record = nullptr;

    void Load() {
        record = player.LoadGeneralPlugin("gen_orvela.dll");
        ASSERT_NE(record, nullptr) << "gen_orvela.dll did not load";
    }
    void SetUp() override { Load(); }
    void TearDown() override { player.QuitGeneralPlugin(); }

    LRESULT Tick() { return SendMessageA(player.MainWindow(), WM_TIMER, 6024, 0); }
    LRESULT Request() { return SendMessageA(player.MainWindow(), kPlaylistRequest, 0, 0); }
    void Fill(int n, const std::string& prefix = "") {
        for (int i = 0; i < n; ++i)
            player.playlist.push_back({prefix + std::to_string(i), "T" + std::to_string(i)});
    }
};

TEST_F(Hosted, RecordAndMenuItem) {
    EXPECT_EQ(record->version, 0x10);
    EXPECT_STREQ(record->description, "Orvela v1.00");
    const std::vector<std::string> expected = {
        "Play file...", "Play URL...", "-", "Local network...", "Preferences...", "-", "Exit"};
    EXPECT_EQ(player.FileMenuTexts(), expected);
    EXPECT_EQ(player.FileMenuId(3), 1u);
}

TEST(HostedMenus, NoSeparatorMeansNoItem) {
    for (auto kind : {PlayerEmulator::FileMenu::WithoutSeparator, PlayerEmulator::FileMenu::None}) {
        PlayerEmulator player({kind, false});
        const auto before = player.FileMenuTexts();
        ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
        EXPECT_EQ(player.FileMenuTexts(), before);
        // The hook is in place all the same.
        EXPECT_EQ(SendMessageA(player.MainWindow(), kPlaylistRequest, 0, 0), 1);
        player.QuitGeneralPlugin();
    }
}

TEST_F(Hosted, HookPassesCommandsAndOtherTimersButKeepsItsOwn) {
    SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);
    EXPECT_EQ(player.CountReceived(WM_COMMAND, 1), 1u);
    SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);
    EXPECT_EQ(player.CountReceived(WM_COMMAND, 1), 2u);

    EXPECT_EQ(Tick(), 0);
    EXPECT_EQ(player.CountReceived(WM_TIMER, 6024), 0u);
    SendMessageA(player.MainWindow(), WM_TIMER, 77, 0);
    EXPECT_EQ(player.CountReceived(WM_TIMER, 77), 1u);

    for (auto [w, l] : {std::pair<WPARAM, LPARAM>{0, 0}, {1, 2}, {0xFFFFFFFF, 0x7FFFFFFF}})
        EXPECT_EQ(SendMessageA(player.MainWindow(), kPlaylistRequest, w, l), 1);
    for (const auto& r : player.received)
        EXPECT_NE(r.msg, kPlaylistRequest);
}

TEST_F(Hosted, TheRealTimerRefreshesTheBlockEveryThreeSeconds) {
    Fill(3, "C:\\m\\");
    player.position = 2;
    const bool seen = player.PumpUntil(
        [] {
            Bytes b = ReadBlock();
            return !b.empty() && U32(b, 4) == 2;
        },
        6000);
    ASSERT_TRUE(seen) << "no timer tick updated the block";
    const Bytes b = ReadBlock();
    EXPECT_EQ(Str(b, 8), "C:\\m\\2");
    EXPECT_EQ(Str(b, 268), "T2");
    EXPECT_EQ(player.CountReceived(WM_TIMER, 6024), 0u);
}

TEST_F(Hosted, NewBlockHoldsOnlyThePlayerWindow) {
    const Bytes b = ReadBlock();
    ASSERT_EQ(b.size(), 5652u);
    EXPECT_EQ(U32(b, 0), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(player.MainWindow())));
    EXPECT_EQ(static_cast<int32_t>(U32(b, 4)), -1);
    for (size_t i = 8; i < b.size(); ++i)
        ASSERT_EQ(b[i], 0) << "byte " << i;
}

TEST_F(Hosted, UpdateCutsLongNamesAndWritesNothingWithoutAMove) {
    player.playlist = {{std::string(300, 'f'), std::string(300, 't')}, {"b", "B"}};
    player.position = 0;
    Tick();
    Bytes b = ReadBlock();
    EXPECT_EQ(Str(b, 8), std::string(259, 'f'));
    EXPECT_EQ(Str(b, 268), std::string(259, 't'));

    // Mark the texts from the agent's side; a tick at the same position must
    // leave the marks even though the playlist changed.
    HANDLE h = OpenFileMappingA(FILE_MAP_WRITE, FALSE, "__ORVELA_FILEINFO__");
    auto* block = static_cast<NowPlayingBlock*>(MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 5652));
    std::strcpy(block->fileName, "mark");
    player.playlist[0].file = "changed";
    Tick();
    EXPECT_STREQ(block->fileName, "mark");
    player.position = 1;
    Tick();
    EXPECT_STREQ(block->fileName, "b");
    EXPECT_EQ(block->fileName[2], 0);
    UnmapViewOfFile(block);
    CloseHandle(h);
}

TEST_F(Hosted, ExportOfAnEmptyPlaylist) {
    EXPECT_EQ(Request(), 1);
    const Bytes b = ReadBlock();
    EXPECT_EQ(U32(b, 528), 6u);
    EXPECT_EQ(Bytes(b.begin() + 532, b.begin() + 538), (Bytes{6, 0, 4, 0, 0, '0'}));
}

TEST_F(Hosted, ExportOf300EntriesWrapsTags) {
    Fill(300);
    Request();
    const Bytes b = ReadBlock();
    // count "300": 6 bytes; names "0".."9": 4 each, "10".."99": 5, "100".."299": 6.
    const uint32_t size = 2 + 6 + 10 * 4 + 90 * 5 + 200 * 6;
    ASSERT_EQ(U32(b, 528), size);
    // Walk the fields by hand: entry i carries tag (i + 1) % 256.
    size_t at = 532 + 2 + 6;
    for (int i = 0; i < 300; ++i) {
        const std::string name = std::to_string(i);
        ASSERT_EQ(b[at] | (b[at + 1] << 8), int(name.size() + 3)) << i;
        ASSERT_EQ(b[at + 2], (i + 1) % 256) << i;
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(&b[at + 3]), name.size()), name);
        at += name.size() + 3;
    }
}

TEST_F(Hosted, ExportStopsAtTheFirstNameThatDoesNotFit) {
    for (int i = 0; i < 60; ++i)
        player.playlist.push_back({std::string(97, 'a' + i % 26), ""});
    player.playlist.push_back({"z", ""});
    Request();
    const Bytes b = ReadBlock();
    // 2 + count "61" (5) + 51 names of 100 = 5107; a 52nd would reach 5207.
    EXPECT_EQ(U32(b, 528), 5107u);
    EXPECT_EQ(Bytes(b.begin() + 534, b.begin() + 539), (Bytes{5, 0, 0, '6', '1'}));
    const size_t lastTag = 532 + 7 + 50 * 100 + 2;
    EXPECT_EQ(b[lastTag], 51);
}

TEST_F(Hosted, AgentInAnotherProcessRequestsAndReadsTheBlock) {
    player.playlist = {{"a.mp3", "A"}, {"bb.mp3", "B"}};
    player.position = 1;
    Tick();

    char dir[MAX_PATH], out[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "orv", 0, out);
    std::string cmd = std::string("agent_probe.exe \"") + out + "\" --request";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &pi));
    // The probe's 9508 is a cross-process send: keep dispatching until it is done.
    ASSERT_TRUE(player.PumpUntil(
        [&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 20000));
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    ASSERT_EQ(code, 0u);

    FILE* f = std::fopen(out, "rb");
    ASSERT_NE(f, nullptr);
    Bytes got(5652 + 4);
    ASSERT_EQ(std::fread(got.data(), 1, got.size(), f), got.size());
    std::fclose(f);
    DeleteFileA(out);

    // The expected block, byte by byte, from the layout alone.
    Bytes want(5652 + 4, 0);
    const uint32_t hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(player.MainWindow()));
    std::memcpy(&want[0], &hwnd, 4);
    want[4] = 1;
    std::memcpy(&want[8], "bb.mp3", 6);
    want[268] = 'B';
    const Bytes packet = {23,  0,   4, 0, 0, '2', 8,   0,   1,   'a', '.', 'm',
                          'p', '3', 9, 0, 2, 'b', 'b', '.', 'm', 'p', '3'};
    want[528] = 23;
    std::copy(packet.begin(), packet.end(), want.begin() + 532);
    want[5652] = 1; // the answer to 9508
    for (size_t i = 0; i < want.size(); ++i)
        ASSERT_EQ(got[i], want[i]) << "byte " << i;
}

TEST(HostedBlock, AnExistingBlockKeepsItsContents) {
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 5652,
                                  "__ORVELA_FILEINFO__");
    auto* v = static_cast<uint8_t*>(MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 5652));
    std::memset(v, 0x5A, 5652);

    PlayerEmulator player;
    ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
    EXPECT_EQ(*reinterpret_cast<uint32_t*>(v),
              static_cast<uint32_t>(reinterpret_cast<uintptr_t>(player.MainWindow())));
    for (size_t i = 4; i < 5652; ++i)
        ASSERT_EQ(v[i], 0x5A) << "byte " << i;
    player.QuitGeneralPlugin();
    UnmapViewOfFile(v);
    CloseHandle(h);
}

TEST(HostedBlock, WithoutABlockTheWritersSkipItUntilItOpens) {
    // Another kind of object holds the name, so no mapping can be made.
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "__ORVELA_FILEINFO__");
    ASSERT_NE(squatter, nullptr);
    PlayerEmulator player;
    player.playlist = {{"a", "A"}, {"b", "B"}};
    ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
    player.position = 1;
    EXPECT_EQ(SendMessageA(player.MainWindow(), WM_TIMER, 6024, 0), 0);
    EXPECT_EQ(SendMessageA(player.MainWindow(), kPlaylistRequest, 0, 0), 1);
    EXPECT_EQ(player.FileMenuTexts()[3], "Local network...");
    // Once the name is free, the next tick makes the block, player included.
    CloseHandle(squatter);
    EXPECT_TRUE(ReadBlock().empty());
    EXPECT_EQ(SendMessageA(player.MainWindow(), WM_TIMER, 6024, 0), 0);
    const Bytes b = ReadBlock();
    ASSERT_EQ(b.size(), 5652u);
    EXPECT_EQ(U32(b, 0), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(player.MainWindow())));
    EXPECT_EQ(Str(b, 268), "B");
    player.QuitGeneralPlugin();
}

TEST_F(Hosted, TheBlockGrantsItsUserAndSystemEverythingAndNoOneElseAnything) {
    HANDLE h = OpenFileMappingA(READ_CONTROL, FALSE, "__ORVELA_FILEINFO__");
    ASSERT_NE(h, nullptr);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetSecurityInfo(h, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &sd),
              DWORD{ERROR_SUCCESS});
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
    // Wine keeps no integrity label on the block, so only the list is seen.
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    char user[256];
    DWORD size = sizeof user;
    char* sid = nullptr;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
    ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    const std::string all = "(GA|0xf001f)"; // as given, or mapped to the section's rights
    EXPECT_TRUE(std::regex_match(std::string(text), std::regex("D:\\(A;;" + all + ";;;" + sid +
                                                               "\\)\\(A;;" + all + ";;;SY\\)")))
        << text;
    LocalFree(sid);
    LocalFree(text);
    LocalFree(sd);
    CloseHandle(token);
    CloseHandle(h);
}

WNDPROC g_next = nullptr; // what a later plug-in's hook passes on to
LRESULT CALLBACK LaterHook(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    return CallWindowProcA(g_next, w, msg, wp, lp);
}

TEST(HostedQuit, QuitPutsThePlayersProcedureBackOrKeepsALaterHookWorking) {
    PlayerEmulator player;
    HWND main = player.MainWindow();
    const LONG_PTR own = GetWindowLongPtrA(main, GWLP_WNDPROC);
    ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
    EXPECT_NE(GetWindowLongPtrA(main, GWLP_WNDPROC), own);
    player.QuitGeneralPlugin();
    EXPECT_EQ(GetWindowLongPtrA(main, GWLP_WNDPROC), own);

    // Hooked again, then another plug-in hooks after us: ours stays in the
    // chain after quit and passes everything on.
    ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
    g_next = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterHook)));
    player.QuitGeneralPlugin();
    EXPECT_EQ(GetWindowLongPtrA(main, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&LaterHook));
    const size_t before = player.CountReceived(WM_COMMAND, 40029);
    SendMessageA(main, WM_COMMAND, 40029, 0);
    EXPECT_EQ(player.CountReceived(WM_COMMAND, 40029), before + 1);
    SetWindowLongPtrA(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_next));
}

} // namespace
