#include "browser/browser_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "browser/columns_win.h"
#include "browser/peer_rows_win.h"
#include "browser/resource.h"
#include "browser/settings_win.h"
#include "browser/skin_win.h"
#include "peers/peer_table.h"
#include "peers/requests.h"
#include "scrollskin/scrollskin_win.h"

namespace {

constexpr char kFrameTitle[] = "Local Network";
constexpr DWORD kListBorder = ChildBorder(IDC_PEER_LIST, kSunkenBorder);
constexpr int kButtonRowHeight = 20; // below the list
constexpr DWORD kListStyles = LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;

// A stored rectangle comes from a file anyone can edit: keep it inside the
// 16-bit range that window positions live in, and never let it overflow.
int Coordinate(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -32768, 32767));
}
int Extent(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, 0, 32767));
}

SIZE WindowSize(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return {r.right - r.left, r.bottom - r.top};
}

} // namespace

LRESULT CWndOrvelaList::OnKeyDown(WPARAM key, WORD repeat, WORD flags) {
    const bool translated =
        browser && browser->translateKey(hwnd, WM_KEYDOWN, key, MAKELPARAM(repeat, flags));
    return translated ? 1 : 0;
}

LRESULT CWndOrvelaList::OnDestroy() {
    // The header goes with the list; its tags are read for the last time by
    // the browser's destruction, which runs before ours.
    ListViewColumns(hwnd, reinterpret_cast<HWND>(SendMessageA(hwnd, LVM_GETHEADER, 0, 0)))
        .FreeTags();
    return 0;
}

LRESULT CWndOrvelaList::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SYSKEYDOWN:
        if (browser && browser->translateKey(hwnd, msg, wParam, lParam)) return 1;
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS; // Enter too belongs to the list
    }
    return CWndObject::DefaultProc(msg, wParam, lParam);
}

CDialogBrowser::CDialogBrowser(HWND playerWindow) : player(playerWindow) {
    // Template 112 holds a list-view, whose class must exist before it.
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
}

LRESULT CDialogBrowser::OnInitDialog() {
    accelerators = LoadAcceleratorsA(g_moduleInstance, MAKEINTRESOURCEA(IDR_BROWSER_ACCELERATORS));
    SampleSkinColors(player.hwnd);
    parent().setText(kFrameTitle);
    LoadBrowserSettings(settings);
    ShowUserGroup(settings.userGroup);

    const SettingsRect& r = settings.windowRect;
    SetWindowPos(hwnd, nullptr, Coordinate(r.left), Coordinate(r.top),
                 Extent(int64_t{r.right} - r.left), Extent(int64_t{r.bottom} - r.top),
                 SWP_NOZORDER | SWP_NOACTIVATE);

    if (list.subclass(GetDlgItem(hwnd, IDC_PEER_LIST)) && list.isWindow()) {
        list.browser = this;
        HWND h = GetDlgItem(list.hwnd, 0);
        header.subclass(h ? h : headerWindow());
        // The list's bars become the skinning layer's, 14 pixels across with
        // 14-pixel arrows, painted by this dialog.
        ScrollSkinAttach(list.hwnd);
        ScrollSkinSetSize(list.hwnd, SB_BOTH, 14, 14);
        createFont();
        applyListColors();
        SendMessageA(list.hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, kListStyles, kListStyles);
        // Told its version, a list control older than version 6 lets column
        // 0 go too (hiding the Computer column deletes it).
        SendMessageA(list.hwnd, CCM_SETVERSION, 5, 0);
        ApplyColumns();
    }
    show(SW_SHOWNORMAL);
    prober.SetNotifyWindow(hwnd);
    // A join that fails leaves the list empty; nothing is shown to the user.
    receiver.SetNotifyWindow(hwnd);
    receiver.Join(settings.groupAddress, settings.userGroup);
    timer = SetTimer(hwnd, BROWSER_TIMER_ID, kAgeOutPeriodMs, nullptr);
    return 1;
}

LRESULT CDialogBrowser::OnPaint(WPARAM) {
    PaintSession paint(hwnd);
    DrawChildBorders(hwnd, paint.dc(), paint.info().rcPaint, paint.info().fErase, &kListBorder, 1);
    return 1;
}

LRESULT CDialogBrowser::OnSize(UINT, int cx, int cy) {
    HWND refresh = GetDlgItem(hwnd, IDC_REFRESH);
    HWND userGroup = GetDlgItem(hwnd, IDC_USER_GROUP);
    HWND label = GetDlgItem(hwnd, IDC_USER_GROUP_LABEL);
    HWND listWindow = GetDlgItem(hwnd, IDC_PEER_LIST);
    constexpr UINT kMove = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;

    const SIZE rs = WindowSize(refresh), us = WindowSize(userGroup);
    const int refreshLeft = cx - rs.cx, top = cy - rs.cy;
    SetWindowPos(refresh, nullptr, refreshLeft, top, 0, 0, kMove);
    SetWindowPos(userGroup, nullptr, refreshLeft - us.cx - 1, top, 0, 0, kMove);
    SetWindowPos(label, nullptr, 3, top + 2, 0, 0, kMove);
    SetWindowPos(listWindow, nullptr, 0, 0, std::max(cx, 0), std::max(cy - kButtonRowHeight, 0),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    for (HWND w : {userGroup, listWindow, label}) {
        if (!w) continue;
        InvalidateRect(w, nullptr, TRUE);
        UpdateWindow(w);
    }
    return 1;
}

LRESULT CDialogBrowser::OnCommand(UINT, WPARAM id, CWndObject) {
    // Nothing may reach the base: its OK and Cancel would end this modeless
    // dialog.
    switch (LOWORD(id)) {
    case IDC_REFRESH:
        // Rows come back with their computers' next announcements.
        ClearPeers();
        activeRow = -1;
        break;
    case IDC_USER_GROUP:
        ChangeUserGroup();
        break;
    }
    return 1;
}

LRESULT CDialogBrowser::OnDisplayChange(WPARAM depth, WORD width, WORD height) {
    SampleSkinColors(player.hwnd);
    // Painted in the new colours by the next WM_PAINT; a paint session here
    // would take a repaint that is due away from it.
    InvalidateRect(hwnd, nullptr, TRUE);
    applyListColors();
    createFont();
    if (depth == 0 && width == 0 && height == 0) {
        // A skin change rather than a display change: repaint everything.
        show(SW_HIDE);
        show(SW_SHOW);
    }
    return 1;
}

LRESULT CDialogBrowser::OnDestroy() {
    // The list still exists here (children go after their parent): its rows'
    // records are freed before it takes the rows with it.
    stopPresence();
    request.Close();
    ReleaseSkin();
    font.Reset();
    captureColumnLayout();
    const RECT r = windowRect();
    settings.windowRect = {r.left, r.top, r.right, r.bottom};
    SaveBrowserSettings(settings); // a file that cannot be written keeps what it had
    return 1;
}

LRESULT CDialogBrowser::OnClose() {
    parent().show(SW_HIDE);
    shown = 0;
    return 1;
}

LRESULT CDialogBrowser::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (const LRESULT skinned = HandleSkinnedDialogMessage(hwnd, msg, wParam, lParam))
        return skinned;
    switch (msg) {
    case WM_PRESENCE_SOCKET:
        // Events still queued for a socket that a re-join closed are dropped.
        if (static_cast<SOCKET>(wParam) == receiver.Socket()) receiver.OnSocketNotify(lParam);
        return 1;
    case WM_PEER_ANNOUNCED:
        // Only records that our receiver posted are ever taken.
        receiver.Deliver(lParam, [this](std::unique_ptr<PeerRecord> record) {
            OnPeerAnnounced(std::move(record));
        });
        return 1;
    case WM_SHARE_PROBED:
        OnShareProbed();
        return 1;
    case WM_TIMER:
        if (wParam == BROWSER_TIMER_ID) AgeOutPeers();
        if (wParam == PRESENCE_TICK_TIMER_ID) receiver.OnTick();
        return 1;
    case WM_PLAYLIST_SOCKET:
        return OnPlaylistSocket(wParam, lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return translateKey(hwnd, msg, wParam, lParam) ? 1 : 0;
    }
    return 0;
}

void CDialogBrowser::createFont() {
    font.Reset(CreateSkinFont(player.hwnd));
}

void CDialogBrowser::ShowUserGroup(unsigned group) {
    char text[32];
    std::snprintf(text, sizeof text, "[user group : %u]", group);
    dialogItem(IDC_USER_GROUP_LABEL).setText(text);
    // Sized from the text in the label's own font: a wider font than the one
    // designed for, or another scale, must not cut it.
    HWND label = GetDlgItem(hwnd, IDC_USER_GROUP_LABEL);
    if (!label) return;
    SIZE extent{};
    {
        const WindowDc dc = WindowDc::Client(label);
        const SelectedObject font(dc.Get(),
                                  reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
        if (!dc ||
            !GetTextExtentPoint32A(dc.Get(), text, static_cast<int>(std::strlen(text)), &extent))
            return;
    }
    const SIZE now = WindowSize(label);
    SetWindowPos(label, nullptr, 0, 0, extent.cx + 2, std::max(now.cy, extent.cy),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

template <class F> void CDialogBrowser::withPeerTable(F&& use) {
    // Thin views over the control, made where they are needed: without a
    // list there are no rows, and an announced record is freed at once.
    HWND rowsWindow = list.isWindow() ? list.hwnd : nullptr;
    ListViewColumns columns(rowsWindow, rowsWindow ? headerWindow() : nullptr);
    ListViewPeerRows rows(rowsWindow, columns, settings);
    PeerTable table(
        rows, [] { return static_cast<uint32_t>(GetTickCount()); },
        [this](const PeerRecord& r) {
            return prober.Request(AnnouncedShareProbe(r, ShareProbe::Kind::Announced));
        },
        activeRow);
    table.UseIndex(rowIndex);
    use(table, rows);
}

void CDialogBrowser::OnPeerAnnounced(std::unique_ptr<PeerRecord> record) {
    withPeerTable([&](PeerTable& table, PeerRows&) { table.OnPeerAnnounced(std::move(record)); });
}

void CDialogBrowser::OnRowProbed(const char* address, const char* path, bool reachable) {
    withPeerTable(
        [&](PeerTable& table, PeerRows&) { table.OnShareProbed(address, path, reachable); });
}

void CDialogBrowser::OnRowProbesLost(const std::vector<std::string>& addresses) {
    withPeerTable([&](PeerTable& table, PeerRows&) {
        for (const std::string& address : addresses)
            table.OnShareProbeLost(address.c_str());
    });
}

void CDialogBrowser::AgeOutPeers() {
    withPeerTable([](PeerTable& table, PeerRows&) { table.AgeOutPeers(); });
}

void CDialogBrowser::ClearPeers() {
    withPeerTable([](PeerTable& table, PeerRows&) { table.ClearPeers(); });
}

void CDialogBrowser::RedrawVisibleRows() {
    withPeerTable([](PeerTable&, PeerRows& rows) { rows.RedrawVisibleRows(); });
}

void CDialogBrowser::stopPresence() {
    if (timer) KillTimer(hwnd, BROWSER_TIMER_ID);
    timer = 0;
    receiver.Close();
    // A probe still running answers to no one; its thread ends by itself.
    prober.Stop();
    ClearPeers();
}

HWND CDialogBrowser::headerWindow() const {
    return list.hwnd ? reinterpret_cast<HWND>(SendMessageA(list.hwnd, LVM_GETHEADER, 0, 0))
                     : nullptr;
}

void CDialogBrowser::applyListColors() {
    if (!list.isWindow()) return;
    SendMessageA(list.hwnd, LVM_SETBKCOLOR, 0, GetSkinColor(0));
    SendMessageA(list.hwnd, LVM_SETTEXTCOLOR, 0, GetSkinColor(1));
    SendMessageA(list.hwnd, LVM_SETTEXTBKCOLOR, 0, GetSkinColor(0));
}

void CDialogBrowser::ApplyColumns() {
    if (!list.isWindow()) return;
    ListViewColumns columns(list.hwnd, headerWindow());
    ::ApplyColumns(columns, settings);
}

void CDialogBrowser::SetRowTexts(int row, const PeerRecord& record) {
    if (!list.isWindow()) return;
    ListViewColumns columns(list.hwnd, headerWindow());
    ::SetRowTexts(columns, settings, row, record);
}

void CDialogBrowser::RefreshRowTexts() {
    if (!list.isWindow()) return;
    ListViewColumns columns(list.hwnd, headerWindow());
    ::RefreshRowTexts(columns, settings);
}

void CDialogBrowser::SelectColumns() {
    CDialogSelectColumns dialog(settings);
    dialog.runModal(IDD_SELECT_COLUMNS, this);
    if (dialog.accepted != 1) return;
    CopyColumnRecords(settings, dialog.settings);
    ApplyColumns();
    RefreshRowTexts();
}

bool CDialogBrowser::translateKey(HWND source, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!accelerators || !hwnd) return false;
    MSG m{};
    m.hwnd = source;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = static_cast<DWORD>(GetMessageTime());
    GetCursorPos(&m.pt);
    return TranslateAcceleratorA(hwnd, accelerators, &m) != 0;
}

void CDialogBrowser::captureColumnLayout() {
    HWND h = headerWindow();
    if (!h) return;
    const auto count = static_cast<int>(SendMessageA(h, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        HDITEMA item{};
        item.mask = HDI_WIDTH | HDI_ORDER | HDI_LPARAM;
        if (!SendMessageA(h, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item))) continue;
        const auto* tag = reinterpret_cast<const ColumnTag*>(item.lParam);
        // Items of no named column land in record 0, which is never saved.
        ColumnSettings& c = FindColumn(settings, tag ? tag->key : nullptr);
        c.position = static_cast<uint8_t>(item.iOrder & 0xFF);
        c.width = item.cxy;
    }
}
