// gen_orvela's browser hosted by the player emulator: "Local network..."
// creating and showing it in the player's frame, closing, layout, skin
// colours, and the settings written when the player destroys the frame.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "scrollskin/scrollskin_win.h"
#include "sdk/wa_ipc.h"
#include "tests/emulator/emulator.h"
#include "tests/windows/browser_support.h"

namespace {

using namespace browser_test;

struct BrowserHost : ::testing::Test {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};

    void SetUp() override {
        ResetSettings(settingsContent);
        ASSERT_NE(player.LoadGeneralPlugin(dll.c_str()), nullptr);
    }
    void TearDown() override {
        player.QuitGeneralPlugin();
        player.DestroyFrames();
        RemoveSettings();
    }

    void Choose() { SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0); }
    HWND Dialog() {
        auto d = DialogChildren(player.Frame());
        return d.empty() ? nullptr : d.front();
    }
    HWND Item(int id) { return GetDlgItem(Dialog(), id); }
    size_t FrameRequests() const {
        size_t n = 0;
        for (const auto& r : player.received)
            if (r.msg == wa::WM_WA_IPC && r.lParam == wa::IPC_GET_EMBEDIF) ++n;
        return n;
    }

    const char* settingsContent = nullptr;
    std::string dll = "gen_orvela.dll";
};

TEST_F(BrowserHost, LocalNetworkCreatesOneBrowserShowsItAndClosingHidesIt) {
    player.refuseFrames = true; // a player that makes no frame: nothing happens
    Choose();
    EXPECT_TRUE(player.frames.empty());
    EXPECT_EQ(FrameRequests(), 1u);

    player.refuseFrames = false; // the next choice asks again
    Choose();
    ASSERT_EQ(player.frames.size(), 1u);
    HWND frame = player.Frame();
    ASSERT_EQ(DialogChildren(frame).size(), 1u);
    HWND dialog = Dialog();
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_EQ(player.lastFrameState->me, frame);
    EXPECT_EQ(WindowText(frame), "Local Network");
    EXPECT_NE(GetPropA(dialog, "CDialogOrv"), nullptr);
    EXPECT_NE(GetPropA(Item(1007), "CWndOrvelaList"), nullptr);
    HWND header = reinterpret_cast<HWND>(SendMessageA(Item(1007), LVM_GETHEADER, 0, 0));
    EXPECT_NE(GetPropA(header, "CWndOrvelaList"), nullptr);
    EXPECT_EQ(player.CountReceived(WM_COMMAND, 1), 2u) << "the player sees its command too";

    // The first choice leaves the shown flag at 0: the second shows the
    // frame and sets it, after which a choice changes nothing.
    ShowWindow(frame, SW_HIDE);
    Choose();
    EXPECT_TRUE(IsWindowVisible(frame));
    ShowWindow(frame, SW_HIDE);
    Choose();
    EXPECT_FALSE(IsWindowVisible(frame));

    // Closing (the frame's close box reaches the dialog) hides the frame and
    // clears the flag; the same browser comes back.
    ShowWindow(frame, SW_SHOW);
    SendMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_TRUE(IsWindow(dialog));
    Choose();
    EXPECT_TRUE(IsWindowVisible(frame));
    Choose();
    EXPECT_EQ(player.frames.size(), 1u);
    EXPECT_EQ(FrameRequests(), 2u);
    EXPECT_EQ(DialogChildren(frame), std::vector<HWND>{dialog});
}

TEST_F(BrowserHost, FirstRunShowsUserGroup100AndFourColumnsInDefaultOrder) {
    Choose();
    ASSERT_NE(Dialog(), nullptr);
    EXPECT_EQ(WindowText(Item(1009)), "[user group : 100]");
    const std::vector<Column> expected = {{"Computer", 70, "COL_COMP_NAME"},
                                          {"User name", 100, "COL_USER_NAME"},
                                          {"Title", 125, "COL_TITLE"},
                                          {"Shared", 45, "COL_SHARED"}};
    EXPECT_EQ(ShownColumns(Item(1007)), expected);
    const auto ex = SendMessageA(Item(1007), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(ex & 0x430, 0x430) << "drag-and-drop, full-row selection, info tips";
}

TEST_F(BrowserHost, ResizingLaysOutListButtonsAndLabel) {
    Choose();
    HWND dialog = Dialog();
    ASSERT_NE(dialog, nullptr);
    for (SIZE frameSize : {SIZE{420, 330}, SIZE{300, 200}, SIZE{760, 520}, SIZE{200, 90}}) {
        SetWindowPos(player.Frame(), nullptr, 0, 0, frameSize.cx, frameSize.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client;
        GetClientRect(dialog, &client);
        const int cx = client.right, cy = client.bottom;
        SCOPED_TRACE(std::to_string(cx) + " x " + std::to_string(cy));
        ASSERT_GT(cy, 40);

        const RECT list = RectIn(dialog, Item(1007));
        EXPECT_EQ(list.left, 0);
        EXPECT_EQ(list.top, 0);
        EXPECT_EQ(list.right, cx);
        EXPECT_EQ(list.bottom, cy - 20);

        const RECT refresh = RectIn(dialog, Item(1011));
        EXPECT_EQ(refresh.right, cx);
        EXPECT_EQ(refresh.bottom, cy);
        const RECT group = RectIn(dialog, Item(1012));
        EXPECT_EQ(group.top, refresh.top);
        EXPECT_EQ(group.right, refresh.left - 1);
        const RECT label = RectIn(dialog, Item(1009));
        EXPECT_EQ(label.left, 3);
        EXPECT_EQ(label.top, group.top + 2);
    }
}

TEST_F(BrowserHost, ListAndDialogColoursComeFromTheSkin) {
    const SkinSpec skin = player.skin;
    Choose();
    HWND dialog = Dialog(), list = Item(1007);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendMessageA(list, LVM_GETBKCOLOR, 0, 0), LRESULT(skin.colors[0]));
    EXPECT_EQ(SendMessageA(list, LVM_GETTEXTCOLOR, 0, 0), LRESULT(skin.colors[1]));
    EXPECT_EQ(SendMessageA(list, LVM_GETTEXTBKCOLOR, 0, 0), LRESULT(skin.colors[0]));

    HDC dc = GetDC(dialog);
    auto brushColor = [&](UINT msg, HWND control) {
        auto brush = reinterpret_cast<HBRUSH>(SendMessageA(
            dialog, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
        LOGBRUSH lb{};
        EXPECT_EQ(GetObjectA(brush, sizeof lb, &lb), int(sizeof lb)) << "message " << msg;
        return lb.lbColor;
    };
    EXPECT_EQ(brushColor(WM_CTLCOLORDLG, dialog), skin.colors[2]);
    EXPECT_EQ(brushColor(WM_CTLCOLORSTATIC, Item(1009)), skin.colors[2]);
    EXPECT_EQ(GetTextColor(dc), skin.colors[4]);
    EXPECT_EQ(GetBkColor(dc), skin.colors[2]);
    EXPECT_EQ(brushColor(WM_CTLCOLORBTN, Item(1011)), skin.colors[0]);
    EXPECT_EQ(GetTextColor(dc), skin.colors[1]);
    EXPECT_EQ(brushColor(WM_CTLCOLOREDIT, Item(1011)), skin.colors[0]);

    // A new skin without colours 0 and 2 (the reference pixel and the
    // "no colour" marker): a display change re-reads it, with the fallbacks.
    player.skin.colors[0] = player.skin.reference;
    player.skin.colors[1] = RGB(1, 2, 3);
    player.skin.colors[2] = RGB(0, 198, 255);
    SendMessageA(dialog, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    EXPECT_EQ(SendMessageA(list, LVM_GETBKCOLOR, 0, 0), 0x000000);
    EXPECT_EQ(SendMessageA(list, LVM_GETTEXTCOLOR, 0, 0), LRESULT(RGB(1, 2, 3)));
    EXPECT_EQ(brushColor(WM_CTLCOLORDLG, dialog), COLORREF(0x3C2424));
    ReleaseDC(dialog, dc);

    // The skin bitmap held before is deleted when a new one is taken, and
    // the last one with the window.
    ASSERT_EQ(player.skinBitmaps.size(), 2u);
    EXPECT_EQ(GetObjectType(player.skinBitmaps[0]), 0u);
    EXPECT_EQ(GetObjectType(player.skinBitmaps[1]), DWORD(OBJ_BITMAP));
    player.DestroyFrames();
    EXPECT_EQ(GetObjectType(player.skinBitmaps[1]), 0u);
}

TEST_F(BrowserHost, TheListsScrollBarsAnswerFromTheLayerOnAnyThread) {
    Choose();
    HWND list = Item(1007);
    ASSERT_NE(list, nullptr);
    SCROLLINFO set{sizeof set, SIF_RANGE | SIF_PAGE, 0, 777, 10, 0, 0};
    SetScrollInfo(list, SB_VERT, &set, FALSE);
    const auto* layer = static_cast<const ScrollSkinWindow*>(GetPropA(list, ScrollSkinProperty));
    ASSERT_NE(layer, nullptr);
    ASSERT_EQ(layer->bars[1].scrollInfo.max, 777) << "the call reached the layer";
    // The platform's own bar never saw that range: only the layer answers it.
    SCROLLINFO got{sizeof got, SIF_RANGE, 0, 0, 0, 0, 0};
    std::thread([&] { GetScrollInfo(list, SB_VERT, &got); }).join();
    EXPECT_EQ(got.nMax, 777);
}

// Counts the browser's show and hide notifications.
WNDPROC g_dialogProc = nullptr;
int g_shows = 0, g_hides = 0;
LRESULT CALLBACK CountShows(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_SHOWWINDOW) ++(w ? g_shows : g_hides);
    return CallWindowProcA(g_dialogProc, h, msg, w, l);
}

TEST_F(BrowserHost, ASkinChangeRepaintsByHidingAndShowingOnce) {
    Choose();
    HWND dialog = Dialog();
    ASSERT_NE(dialog, nullptr);
    g_dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountShows)));
    SendMessageA(dialog, WM_DISPLAYCHANGE, 16, MAKELPARAM(0, 0));
    SendMessageA(dialog, WM_DISPLAYCHANGE, 0, MAKELPARAM(0, 1));
    EXPECT_EQ(g_hides + g_shows, 0);
    SendMessageA(dialog, WM_DISPLAYCHANGE, 0, 0);
    EXPECT_EQ(g_hides, 1);
    EXPECT_EQ(g_shows, 1);
    EXPECT_TRUE(IsWindowVisible(dialog));
    SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_dialogProc));
}

// The plug-in loaded from another folder than the player's: its settings
// still live beside the player.
struct BrowserHostWithSettings : BrowserHost {
    const std::string elsewhere = PluginsDir() + "\\..\\elsewhere";
    BrowserHostWithSettings() {
        settingsContent = "[MAIN]\r\nCHANNEL=7\r\n"
                          "[COLUMNS]\r\nCOL_TITLE=0|7|1|99\r\nCOL_SHARED=1|4|2|45\r\n";
        CreateDirectoryA(elsewhere.c_str(), nullptr);
        CreateDirectoryA((elsewhere + "\\Plugins").c_str(), nullptr);
        dll = elsewhere + "\\gen_orvela.dll";
        CopyFileA("gen_orvela.dll", dll.c_str(), FALSE);
    }
    ~BrowserHostWithSettings() override {
        RemoveDirectoryA((elsewhere + "\\Plugins").c_str());
        DeleteFileA(dll.c_str()); // may stay while loaded; the next run overwrites it
        RemoveDirectoryA(elsewhere.c_str());
    }
};

TEST_F(BrowserHostWithSettings, DestroyingTheFrameSavesDraggedColumnsAndKeepsHiddenOnes) {
    Choose();
    HWND dialog = Dialog(), list = Item(1007);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(WindowText(Item(1009)), "[user group : 7]");
    ASSERT_EQ(ShownColumns(list), (std::vector<Column>{{"Computer", 70, "COL_COMP_NAME"},
                                                       {"User name", 100, "COL_USER_NAME"},
                                                       {"Shared", 45, "COL_SHARED"}}));

    // What dragging header items leaves behind: new widths and a new order
    // (Shared first).
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, 90);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 2, 61);
    int order[3] = {2, 0, 1};
    SendMessageA(list, LVM_SETCOLUMNORDERARRAY, 3, reinterpret_cast<LPARAM>(order));
    RECT r;
    GetWindowRect(dialog, &r);

    player.DestroyFrames();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Setting("COLUMNS", "COL_COMP_NAME"), "1|1|0|90");
    EXPECT_EQ(Setting("COLUMNS", "COL_USER_NAME"), "1|2|0|100");
    EXPECT_EQ(Setting("COLUMNS", "COL_SHARED"), "1|0|2|61");
    EXPECT_EQ(Setting("COLUMNS", "COL_TITLE"), "0|7|1|99") << "hidden: kept as loaded";
    EXPECT_EQ(Setting("MAIN", "CHANNEL"), "7");
    EXPECT_EQ(Setting("MAIN", "LEFT"), std::to_string(r.left));
    EXPECT_EQ(Setting("MAIN", "TOP"), std::to_string(r.top));
    EXPECT_EQ(Setting("MAIN", "RIGHT"), std::to_string(r.right));
    EXPECT_EQ(Setting("MAIN", "BOTTOM"), std::to_string(r.bottom));
    EXPECT_EQ(Setting("MAIN", "BROADCAST_IP"), "<absent>");
    EXPECT_EQ(ReadFileBytes(elsewhere + "\\Plugins\\gen_orvela.ini"), "");
}

} // namespace
