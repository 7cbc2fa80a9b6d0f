// The skinning layer stands on this: the list control's own calls to the
// platform's scroll-bar functions reach a replacement installed for the
// process, and stop reaching it once it is removed.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "scrollskin/redirect_win.h"

namespace {

using SetScrollInfoFn = int(WINAPI*)(HWND, int, LPCSCROLLINFO, BOOL);
Redirection g_table[] = {{"SetScrollInfo", nullptr, nullptr}};
int g_calls = 0;

int WINAPI CountingSetScrollInfo(HWND w, int bar, LPCSCROLLINFO info, BOOL redraw) {
    ++g_calls;
    return reinterpret_cast<SetScrollInfoFn>(g_table[0].original)(w, bar, info, redraw);
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
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = 100;
    column.pszText = const_cast<char*>("A");
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    AddRows(list, 100);
    EXPECT_GT(g_calls, 0) << "the list-view's scroll-bar calls bypass the replacement";

    RestoreImports("user32.dll", g_table, 1, nullptr);
    const int before = g_calls;
    AddRows(list, 100);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(g_calls, before) << "the replacement outlived its removal";
    DestroyWindow(list);
}
