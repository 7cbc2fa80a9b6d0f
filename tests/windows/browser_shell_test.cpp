// gen_orvela's window classes driven directly (the tests link their own copy
// of the shell and its resources): the window layer's routing, modal runs
// and centring; the browser's "Select columns" through the real dialog; the
// skinned buttons and background as painted.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "browser/browser_win.h"
#include "browser/resource.h"
#include "sdk/winamp.h"
#include "tests/emulator/emulator.h"
#include "tests/windows/browser_support.h"

namespace {

using namespace browser_test;
using Texts = std::vector<std::string>;

struct ProbeDialog : CDialogOrv {
    LRESULT init = 1;
    LRESULT notifyResult = 0;
    std::function<void(ProbeDialog&)> onInit;
    LRESULT OnInitDialog() override {
        if (onInit) onInit(*this);
        return init;
    }
    LRESULT OnNotify(WPARAM, NMHDR*, LRESULT* result) override {
        *result = notifyResult;
        return notifyResult != 0;
    }
};

struct ProbeWindow : CWndObject {
    int destroyed = 0;
    LRESULT OnKeyDown(WPARAM key, WORD, WORD) override { return key == 'K' ? 5 : 0; }
    LRESULT OnNotify(WPARAM, NMHDR*, LRESULT* result) override {
        *result = 99;
        return 1;
    }
    LRESULT OnDestroy() override {
        ++destroyed;
        return 0;
    }
};

struct WindowLayer : ::testing::Test {
    void SetUp() override { SetModuleInstance(GetModuleHandleA(nullptr)); }
};

TEST_F(WindowLayer, DialogAnswersComeFromHandlersOrTheDialogManager) {
    ProbeDialog d;
    ASSERT_TRUE(d.createModeless(IDD_USER_GROUP, nullptr));
    EXPECT_EQ(GetPropA(d.hwnd, "CDialogOrv"), static_cast<HANDLE>(&d));
    EXPECT_EQ(SendMessageA(d.hwnd, WM_INITDIALOG, 0, 0), 1);
    d.init = 0;
    EXPECT_EQ(SendMessageA(d.hwnd, WM_INITDIALOG, 0, 0), 0);

    NMHDR hdr{d.hwnd, 1, 0};
    d.notifyResult = 77;
    // The answer is the window procedure's result: DWLP_MSGRESULT stays untouched.
    EXPECT_EQ(SendMessageA(d.hwnd, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&hdr)), 77);
    EXPECT_EQ(GetWindowLongPtrA(d.hwnd, DWLP_MSGRESULT), 0);
    d.notifyResult = 0;
    EXPECT_EQ(SendMessageA(d.hwnd, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&hdr)), 0);

    HWND dialog = d.hwnd;
    DestroyWindow(dialog);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(d.hwnd, dialog) << "the object keeps its stale handle";
}

TEST_F(WindowLayer, ModalRunsEndWithOkOrCancelAndGiveTheFocusBack) {
    HWND owner = CreateWindowExA(0, "EDIT", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, owner, nullptr,
                                nullptr, nullptr);
    const CWndObject ownerObject(owner);
    for (auto [command, result] : {std::pair{IDOK, 1}, std::pair{IDCANCEL, 2}}) {
        SetFocus(edit);
        ASSERT_EQ(GetFocus(), edit);
        ProbeDialog d;
        d.onInit = [command](ProbeDialog& self) {
            PostMessageA(self.hwnd, WM_COMMAND, command, 0);
        };
        EXPECT_EQ(d.runModal(IDD_USER_GROUP, &ownerObject), result);
        EXPECT_EQ(GetFocus(), edit);
    }
    // The window that had the focus is gone by the end: the focus is cleared.
    SetFocus(edit);
    ProbeDialog d;
    d.onInit = [edit](ProbeDialog& self) {
        DestroyWindow(edit);
        PostMessageA(self.hwnd, WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(d.runModal(IDD_USER_GROUP, &ownerObject), 2);
    EXPECT_EQ(GetFocus(), nullptr);
    DestroyWindow(owner);
}

TEST_F(WindowLayer, SubclassedWindowsRouteToHandlersAndPassTheRestOn) {
    ProbeWindow w;
    EXPECT_FALSE(w.subclass(nullptr));
    HWND dead = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                nullptr);
    DestroyWindow(dead);
    EXPECT_FALSE(w.subclass(dead));
    EXPECT_EQ(w.hwnd, nullptr);

    HWND target = CreateWindowExA(0, "STATIC", "before", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_TRUE(w.subclass(target));
    EXPECT_EQ(GetPropA(target, "CWndOrvelaList"), static_cast<HANDLE>(&w));
    EXPECT_EQ(SendMessageA(target, WM_KEYDOWN, 'K', 0), 5);
    SendMessageA(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("after"));
    EXPECT_EQ(WindowText(target), "after") << "unhandled messages reach the control";
    NMHDR hdr{target, 0, 0};
    EXPECT_EQ(SendMessageA(target, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr)), 99);
    DestroyWindow(target);
    EXPECT_EQ(w.destroyed, 1);
}

TEST_F(WindowLayer, CentringFollowsTheReferenceAndStaysInsideTheArea) {
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300,
                                 nullptr, nullptr, nullptr, nullptr);
    HWND popup = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 100, owner, nullptr, nullptr,
                                 nullptr);
    const CWndObject p(popup);
    auto at = [&] { return CWndObject(popup).windowRect(); };

    p.centre();
    EXPECT_EQ(at().left, 200);
    EXPECT_EQ(at().top, 200);
    EXPECT_EQ(at().right - at().left, 200) << "never resized";

    SetWindowPos(owner, nullptr, work.right - 100, work.bottom - 50, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    p.centre();
    EXPECT_EQ(at().left, work.right - 200);
    EXPECT_EQ(at().top, work.bottom - 100);

    ShowWindow(owner, SW_MINIMIZE);
    p.centre();
    EXPECT_EQ(at().left, (work.left + work.right) / 2 - 100);
    EXPECT_EQ(at().top, (work.top + work.bottom) / 2 - 50);

    // A child is centred in its parent's client area.
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 100, 40, parent, nullptr, nullptr,
                                 nullptr);
    CWndObject(child).centre();
    const RECT c = RectIn(parent, child);
    EXPECT_EQ(c.left, 100);
    EXPECT_EQ(c.top, 80);
    for (HWND w : {popup, owner, parent})
        DestroyWindow(w);
}

PeerRecord Peer(const char* name, const char* user, const char* title, int reachable) {
    PeerRecord r;
    std::strcpy(r.computerName, name);
    std::strcpy(r.userName, user);
    std::strcpy(r.title, title);
    r.sharedReachable = reachable;
    return r;
}

// A browser made by the test inside a frame from the player emulator.
struct BrowserShell : ::testing::Test {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};
    embedWindowState state{};
    std::unique_ptr<CDialogBrowser> browser;
    HWND frame = nullptr, dialog = nullptr, list = nullptr;

    void SetUp() override {
        ResetSettings();
        SetModuleInstance(GetModuleHandleA(nullptr));
        frame = reinterpret_cast<HWND>(SendMessageA(player.MainWindow(), wa::WM_WA_IPC,
                                                    reinterpret_cast<WPARAM>(&state),
                                                    wa::IPC_GET_EMBEDIF));
        ASSERT_NE(frame, nullptr);
        browser = std::make_unique<CDialogBrowser>(player.MainWindow());
        const CWndObject parent(frame);
        ASSERT_TRUE(browser->createModeless(IDD_BROWSER, &parent));
        ShowWindow(frame, SW_SHOWNORMAL);
        UpdateWindow(frame);
        dialog = browser->hwnd;
        list = GetDlgItem(dialog, IDC_PEER_LIST);
    }
    void TearDown() override {
        if (list) SendMessageA(list, LVM_DELETEALLITEMS, 0, 0); // the rows point at our records
        player.DestroyFrames();
        RemoveSettings();
    }
    void AddRow(PeerRecord& r) {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        item.lParam = reinterpret_cast<LPARAM>(&r);
        ASSERT_GE(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)), 0);
    }
    std::vector<std::string> Keys() {
        std::vector<std::string> out;
        for (const Column& c : ShownColumns(list))
            out.push_back(c.key);
        return out;
    }
};

void Click(HWND dialog, int id) {
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}
bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

TEST_F(BrowserShell, SelectColumnsHidesAndShowsColumnsThroughTheDialog) {
    PeerRecord a = Peer("PC7", "ann", "song", 1), b = Peer("PC8", "bob", "tune", 0);
    AddRow(a);
    AddRow(b);
    browser->RefreshRowTexts();
    EXPECT_EQ(RowTexts(list, 0), (Texts{"PC7", "ann", "song", "Yes"}));
    EXPECT_EQ(RowTexts(list, 1), (Texts{"PC8", "bob", "tune", "No"}));
    const auto fourColumns = ShownColumns(list);

    // Nothing checked: "Select" keeps the dialog open; "Close" changes nothing.
    {
        ModalScript script({[](HWND d) {
                                for (int id = 1010; id <= 1013; ++id) {
                                    EXPECT_TRUE(Checked(d, id)) << id;
                                    Click(d, id);
                                }
                                Click(d, IDOK);
                            },
                            [](HWND d) {
                                for (int id = 1010; id <= 1013; ++id)
                                    EXPECT_FALSE(Checked(d, id));
                                Click(d, IDCANCEL);
                            }});
        browser->SelectColumns();
        EXPECT_EQ(script.done(), 2u) << "the dialog closed on Select with nothing checked";
        EXPECT_EQ(WindowText(script.dialog()), "");
    }
    EXPECT_EQ(ShownColumns(list), fourColumns);

    // Computer and Title hidden: the others are renumbered and User name is
    // written into sub-item 0.
    {
        ModalScript script({[](HWND d) {
            Click(d, 1010);
            Click(d, 1012);
            Click(d, IDOK);
        }});
        browser->SelectColumns();
        EXPECT_EQ(script.done(), 1u);
    }
    EXPECT_EQ(Keys(), (Texts{"COL_USER_NAME", "COL_SHARED"}));
    EXPECT_EQ(RowTexts(list, 0), (Texts{"ann", "Yes"}));
    EXPECT_EQ(RowTexts(list, 1), (Texts{"bob", "No"}));
    std::strcpy(a.userName, "anna");
    std::strcpy(a.title, "new song");
    a.sharedReachable = 0;
    browser->SetRowTexts(0, a);
    EXPECT_EQ(RowTexts(list, 0), (Texts{"anna", "No"})) << "hidden columns are not written";

    // Title shown again: appended with its stored width, its cells filled.
    {
        ModalScript script({[](HWND d) {
            EXPECT_FALSE(Checked(d, 1010));
            EXPECT_TRUE(Checked(d, 1011));
            EXPECT_FALSE(Checked(d, 1012));
            EXPECT_TRUE(Checked(d, 1013));
            Click(d, 1012);
            Click(d, IDOK);
        }});
        browser->SelectColumns();
    }
    EXPECT_EQ(ShownColumns(list), (std::vector<Column>{{"User name", 100, "COL_USER_NAME"},
                                                       {"Shared", 45, "COL_SHARED"},
                                                       {"Title", 125, "COL_TITLE"}}));
    EXPECT_EQ(RowTexts(list, 0), (Texts{"anna", "No", "new song"}));
    EXPECT_EQ(RowTexts(list, 1), (Texts{"bob", "No", "tune"}));
}

// A 32-bit bitmap to draw into and read back exactly.
struct Canvas {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap;
    HGDIOBJ old;
    Canvas(int w, int h) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }
    // The smallest rectangle holding every pixel of colour c.
    RECT bounds(COLORREF c, int w, int h) const {
        RECT r{w, h, -1, -1};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (at(x, y) == c) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x);
                    r.bottom = std::max<LONG>(r.bottom, y);
                }
        return r;
    }
};

TEST_F(BrowserShell, ButtonsArePaintedFromTheNineSkinPiecesWithAFocusRectangle) {
    const SkinSpec& skin = player.skin;
    HWND button = GetDlgItem(dialog, IDC_REFRESH);
    constexpr int w = 120, h = 30; // roomy enough to keep the caption off the pixels read
    auto draw = [&](Canvas& c, UINT state) {
        DRAWITEMSTRUCT item{ODT_BUTTON, IDC_REFRESH,      0, ODA_DRAWENTIRE, state, button,
                            c.dc,       RECT{0, 0, w, h}, 0};
        SendMessageA(dialog, WM_DRAWITEM, IDC_REFRESH, reinterpret_cast<LPARAM>(&item));
    };
    SetFocus(list);
    Canvas normal(w, h), pressed(w, h);
    draw(normal, 0);
    draw(pressed, ODS_SELECTED);

    // Corners unstretched, edges and centre stretched.
    EXPECT_EQ(normal.at(0, 0), skin.buttonLight);
    EXPECT_EQ(normal.at(w - 1, 0), skin.buttonShadow);
    EXPECT_EQ(normal.at(w - 1, h - 1), skin.buttonShadow);
    EXPECT_EQ(normal.at(w / 2, 0), skin.buttonLight);
    EXPECT_EQ(normal.at(0, h / 2), skin.buttonLight);
    EXPECT_EQ(normal.at(w / 2, h - 1), skin.buttonShadow);
    EXPECT_EQ(normal.at(5, 5), skin.buttonFace);
    EXPECT_EQ(normal.at(2, 2), skin.buttonFace) << "no focus rectangle without the focus";
    EXPECT_EQ(pressed.at(0, 0), skin.buttonShadow);
    EXPECT_EQ(pressed.at(w - 1, h - 1), skin.buttonLight);
    EXPECT_EQ(pressed.at(5, 5), skin.buttonPressedFace);

    // The caption in skin colour 3, one pixel right and down when pressed.
    const RECT up = normal.bounds(skin.colors[3], w, h);
    const RECT down = pressed.bounds(skin.colors[3], w, h);
    ASSERT_GE(up.right, up.left) << "no caption pixels";
    EXPECT_EQ(down.left, up.left + 1);
    EXPECT_EQ(down.top, up.top + 1);
    EXPECT_EQ(down.right, up.right + 1);

    // With the focus: black dots on every other pixel, two pixels inside.
    SetFocus(button);
    ASSERT_EQ(GetFocus(), button);
    Canvas focused(w, h);
    draw(focused, 0);
    for (int x = 2; x < w - 3; ++x)
        EXPECT_EQ(focused.at(x, 2), x % 2 == 0 ? RGB(0, 0, 0) : skin.buttonFace) << "x " << x;
    for (int y = 2; y < h - 3; ++y) {
        EXPECT_EQ(focused.at(2, y), y % 2 == 0 ? RGB(0, 0, 0) : skin.buttonFace) << "y " << y;
        EXPECT_EQ(focused.at(w - 3, y), y % 2 == 0 ? RGB(0, 0, 0) : skin.buttonFace) << "y " << y;
    }
    // The bottom line (row h - 3 = 27) takes its parity from its own row.
    EXPECT_EQ(focused.at(3, h - 3), RGB(0, 0, 0));
    EXPECT_EQ(focused.at(4, h - 3), skin.buttonFace);
    EXPECT_EQ(focused.at(w - 5, h - 3), RGB(0, 0, 0));
}

TEST_F(BrowserShell, BackgroundIsSkinColourTwoWithABorderBelowTheListAndTheLabelFitsItsText) {
    const SkinSpec& skin = player.skin;
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const RECT l = RectIn(dialog, list);
    const RECT label = RectIn(dialog, GetDlgItem(dialog, IDC_USER_GROUP_LABEL));
    const RECT group = RectIn(dialog, GetDlgItem(dialog, IDC_USER_GROUP));
    ASSERT_GT(group.left - label.right, 10);
    HDC dc = GetDC(dialog);
    for (int x : {int(l.left), int(l.right) / 2, int(l.right) - 1})
        EXPECT_EQ(GetPixel(dc, x, l.bottom), skin.colors[5]) << "x " << x;
    EXPECT_EQ(GetPixel(dc, (label.right + group.left) / 2, group.top + 3), skin.colors[2]);
    EXPECT_EQ(GetPixel(dc, (label.right + group.left) / 2, l.bottom + 1), skin.colors[2]);
    ReleaseDC(dialog, dc);
    // Whatever the font, the label is as wide as its text.
    HWND labelWindow = GetDlgItem(dialog, IDC_USER_GROUP_LABEL);
    const std::string shown = WindowText(labelWindow);
    HDC ldc = GetDC(labelWindow);
    SIZE text{};
    {
        const SelectedObject font(
            ldc, reinterpret_cast<HGDIOBJ>(SendMessageA(labelWindow, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32A(ldc, shown.c_str(), static_cast<int>(shown.size()), &text);
    }
    ReleaseDC(labelWindow, ldc);
    EXPECT_GE(label.right - label.left, text.cx) << shown;
    // A display change leaves a repaint that is due to WM_PAINT.
    UpdateWindow(dialog);
    RECT due{0, 0, 10, 10};
    InvalidateRect(dialog, &due, FALSE);
    SendMessageA(dialog, WM_DISPLAYCHANGE, 32, MAKELPARAM(800, 600));
    RECT pending{};
    EXPECT_TRUE(GetUpdateRect(dialog, &pending, FALSE)) << "the display change took the repaint";
}

} // namespace
