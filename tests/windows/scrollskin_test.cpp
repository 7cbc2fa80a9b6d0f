// The skinning layer stands on this: the list control's own calls to the
// platform's scroll-bar functions reach a replacement installed for the
// process, and stop reaching it once it is removed.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "scrollskin/redirect_win.h"

namespace {

using SetScrollInfoFn = int(WINAPI*)(HWND, int, LPCSCROLLINFO, BOOL);
Redirection g_table[] = {{"SetScrollInfo", nullptr, nullptr}};
int g_calls = 0;

int WINAPI CountingSetScrollInfo(HWND w, int bar, LPCSCROLLINFO info, BOOL redraw) {
    ++g_calls;
    return reinterpret_cast<SetScrollInfoFn>(g_table[0].original)(w, bar, info, redraw);
}

void AddColumn(HWND list) {
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = 100;
    column.pszText = const_cast<char*>("A");
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}

void AddRows(HWND list, int n) {
    for (int i = 0; i < n; ++i) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<char*>("row");
        SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
}

} // namespace

TEST(ScrollSkinRedirect, TheListViewsOwnScrollBarCallsReachTheReplacement) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    g_table[0].replacement = reinterpret_cast<void*>(&CountingSetScrollInfo);
    ASSERT_GT(RedirectImports("user32.dll", g_table, 1, nullptr), 0u);
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_OVERLAPPEDWINDOW | WS_VISIBLE | LVS_REPORT,
                                0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    AddColumn(list);
    AddRows(list, 100);
    EXPECT_GT(g_calls, 0) << "the list-view's scroll-bar calls bypass the replacement";

    RestoreImports("user32.dll", g_table, 1, nullptr);
    const int before = g_calls;
    AddRows(list, 100);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(g_calls, before) << "the replacement outlived its removal";
    DestroyWindow(list);
}

TEST(ScrollSkinRedirect, APatchedImportTablesPageStaysExecutable) {
    EXPECT_EQ(WritableProtection(PAGE_EXECUTE_READ), static_cast<DWORD>(PAGE_EXECUTE_READWRITE));
    EXPECT_EQ(WritableProtection(PAGE_READONLY), static_cast<DWORD>(PAGE_READWRITE));
}

#include <vector>

#include "scrollskin/scrollskin_win.h"

namespace {

struct Drawn {
    int bar, part, state;
};
std::vector<Drawn> g_drawn; // part notifications the parent received
std::vector<int> g_codes;   // scroll codes the list received
WNDPROC g_listProc = nullptr;

LRESULT CALLBACK ParentProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->code == kScrollSkinDrawCode) {
        const auto* n = reinterpret_cast<const ScrollSkinDraw*>(lp);
        if (n->stage == CDDS_ITEMPREPAINT) g_drawn.push_back({n->bar, n->part, n->state});
        return n->stage == CDDS_PREPAINT ? CDRF_SKIPDEFAULT : 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

LRESULT CALLBACK CountingListProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_VSCROLL) g_codes.push_back(LOWORD(wp));
    return CallWindowProcA(g_listProc, w, msg, wp, lp);
}

int Count(int code) {
    return static_cast<int>(std::count(g_codes.begin(), g_codes.end(), code));
}

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace

TEST(ScrollSkinLayer, TheListsBarsAreTheLayersAndFollowThePointer) {
    ASSERT_TRUE(ScrollSkinInstall());
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "OrvelaScrollParent";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, "OrvelaScrollParent", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10,
                                  10, 400, 300, nullptr, nullptr, nullptr, nullptr);
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 300,
                                200, parent, reinterpret_cast<HMENU>(1007), nullptr, nullptr);
    g_listProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingListProc)));
    ASSERT_EQ(ScrollSkinAttach(list), 1);
    ASSERT_EQ(ScrollSkinSetSize(list, SB_BOTH, 14, 14), 1);
    EXPECT_EQ(ScrollSkinSetSize(list, SB_BOTH, 0, 14), 0);
    AddColumn(list);
    AddRows(list, 100);
    UpdateWindow(parent);

    // The list's own calls kept the layer's record, which GetScrollInfo answers.
    const auto* layer = static_cast<const ScrollSkinWindow*>(GetPropA(list, ScrollSkinProperty));
    ASSERT_NE(layer, nullptr);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &info));
    EXPECT_EQ(info.nMax, 99);
    EXPECT_EQ(info.nMax, layer->bars[1].scrollInfo.max);
    EXPECT_EQ(static_cast<int>(info.nPage), layer->bars[1].scrollInfo.page);
    EXPECT_TRUE(layer->bars[1].shown);
    RECT window{}, client{};
    GetWindowRect(list, &window);
    GetClientRect(list, &client);
    const int clientWithBar = client.right;

    // Hit-testing and a held press on the down arrow.
    const POINT arrow{window.right - layer->borders[1] - 7, window.bottom - layer->borders[3] - 7};
    EXPECT_EQ(SendMessageA(list, WM_NCHITTEST, 0, MAKELPARAM(arrow.x, arrow.y)), HTVSCROLL);
    SetCursorPos(arrow.x, arrow.y);
    SendMessageA(list, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(arrow.x, arrow.y));
    EXPECT_EQ(Count(SB_LINEDOWN), 1) << "the press scrolls at once";
    Pump(250);
    EXPECT_EQ(Count(SB_LINEDOWN), 1) << "repeated before 300 ms";
    Pump(400);
    EXPECT_GE(Count(SB_LINEDOWN), 3) << "no repeats while held";
    bool sawPressed = false;
    for (const Drawn& d : g_drawn)
        sawPressed |= d.bar == 1 && d.part == kHighArrow && d.state == kPartPressed;
    EXPECT_TRUE(sawPressed) << "the pressed arrow was not painted pressed";
    SendMessageA(list, WM_LBUTTONUP, 0, 0);
    EXPECT_EQ(g_codes.back(), SB_ENDSCROLL);

    // A thumb drag tracks, returns when dragged far away, and ends in place.
    const BarLayout l = LayoutBar(layer->bars[1], layer->borders[2],
                                  window.bottom - window.top - layer->borders[3], 14);
    const POINT thumb{arrow.x, window.top + l.thumbStart + l.thumbLength / 2};
    g_codes.clear();
    SendMessageA(list, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(thumb.x, thumb.y));
    POINT to{thumb.x, thumb.y + 40};
    ScreenToClient(list, &to);
    SendMessageA(list, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    ASSERT_EQ(Count(SB_THUMBTRACK), 1);
    to.x -= 200; // far outside the drag area
    SendMessageA(list, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    EXPECT_EQ(layer->bars[1].scrollInfo.trackPos, layer->bars[1].scrollInfo.pos);
    SendMessageA(list, WM_LBUTTONUP, 0, 0);
    ASSERT_GE(g_codes.size(), 2u);
    EXPECT_EQ(g_codes[g_codes.size() - 2], SB_THUMBPOSITION);
    EXPECT_EQ(g_codes.back(), SB_ENDSCROLL);

    // Losing the capture ends a held arrow as a release would.
    g_codes.clear();
    SendMessageA(list, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(arrow.x, arrow.y));
    SetCapture(parent); // as a menu or a box takes it
    EXPECT_EQ(g_codes.back(), SB_ENDSCROLL);
    const size_t ended = g_codes.size();
    Pump(500);
    EXPECT_EQ(g_codes.size(), ended) << "the repeat timer outlived the capture";
    ReleaseCapture();

    // Rows that fit switch the bar off and give its room back.
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    AddRows(list, 2);
    GetClientRect(list, &client);
    EXPECT_FALSE(layer->bars[1].shown);
    EXPECT_EQ(client.right, clientWithBar + 14);

    // Removed, the platform's functions are called again.
    ScrollSkinRemove();
    info.fMask = SIF_RANGE;
    info.nMin = 0;
    info.nMax = 5000;
    SetScrollInfo(list, SB_VERT, &info, FALSE);
    EXPECT_NE(layer->bars[1].scrollInfo.max, 5000);
    DestroyWindow(parent);
}
