// The browser's commands: what the list's and header's notifications, the
// two context menus, the buttons and the playlist request's socket events do.
#include <winsock2.h>

#include <shellapi.h>

#include <memory>

#include "base/owners_win.h"
#include "browser/browser_win.h"
#include "browser/commands.h"
#include "browser/listen_win.h"
#include "browser/listview_win.h"
#include "browser/resource.h"
#include "browser/settings_win.h"
#include "browser/sorting.h"
#include "peers/peer_table.h"
#include "peers/requests.h"
#include "peers/share_probe.h"
#include "sdk/wa_ipc.h"

namespace {

constexpr UINT kScrollPartDraw = 0xFFFFF001; // the scroll-bar layer's part notification
constexpr int kUserGroupTextRoom = 39;       // 38 characters and the terminator

// Shows the entries as a pop-up menu at `at` (screen coordinates) and
// answers the chosen identifier, 0 when none.
unsigned ChooseFromMenu(HWND owner, const std::vector<MenuEntry>& entries, POINT at) {
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return 0;
    for (const MenuEntry& e : entries) {
        const UINT flags = e.separator ? MF_SEPARATOR : MF_STRING | (e.greyed ? MF_GRAYED : 0);
        AppendMenuA(menu.Get(), flags, e.id, e.separator ? nullptr : e.text.c_str());
    }
    return static_cast<unsigned>(
        TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
}

int CALLBACK CompareRowsByLocale(LPARAM a, LPARAM b, LPARAM column) {
    const auto* ra = reinterpret_cast<const PeerRecord*>(a);
    const auto* rb = reinterpret_cast<const PeerRecord*>(b);
    if (!ra || !rb || !column) return 0;
    return CompareRows(*ra, *rb, *reinterpret_cast<const ColumnSettings*>(column),
                       [](const char* x, const char* y) { return lstrcmpA(x, y); });
}

} // namespace

LRESULT CWndOrvelaList::OnNotify(WPARAM, NMHDR* header, LRESULT* result) {
    if (!browser || !header || header->hwndFrom != ListView(hwnd).Header()) return 0;
    if (header->code == static_cast<UINT>(NM_CUSTOMDRAW))
        return browser->OnHeaderCustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(header), result);
    if (header->code != static_cast<UINT>(NM_RCLICK)) return 0;
    // Handled here, so a list-view that does pass it on never shows a second menu.
    browser->OnListNotify(header, result);
    return 1;
}

LRESULT CDialogBrowser::OnNotify(WPARAM, NMHDR* header, LRESULT* result) {
    return header ? OnListNotify(header, result) : 0;
}

LRESULT CDialogBrowser::OnListNotify(NMHDR* header, LRESULT* result) {
    const ListView rows(list.hwnd);
    if (header->idFrom == IDC_PEER_LIST && header->hwndFrom == list.hwnd) {
        switch (header->code) {
        case kScrollPartDraw:
            return OnScrollPartDraw(header, result);
        case static_cast<UINT>(NM_CUSTOMDRAW):
            return OnListCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header), result);
        case static_cast<UINT>(NM_RCLICK):
            return ShowPeerMenu(reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction);
        case static_cast<UINT>(NM_RETURN):
            return ActivateRow(rows.SelectionMark());
        case static_cast<UINT>(NM_DBLCLK):
            return ActivateRow(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        }
        return 0;
    }
    if (header->hwndFrom == rows.Header() && header->code == static_cast<UINT>(NM_RCLICK))
        return ShowHeaderMenu();
    return 0;
}

LRESULT CDialogBrowser::ActivateRow(int row) {
    if (row < 0) return 0;
    activeRow = row;
    RedrawVisibleRows();
    const ListView rows(list.hwnd);
    rows.EnsureVisible(row);
    const PeerRecord* found = rows.Record(row);
    if (!found) return 1;
    // A copy: the boxes and the player's Play may dispatch messages, and an
    // age-out tick may then remove the row and free its record.
    const PeerRecord record = *found;
    ListenTo(&record, hwnd, playerWindow());
    return 1;
}

LRESULT CDialogBrowser::ShowHeaderMenu() {
    SetForegroundWindow(hwnd);
    POINT at{};
    GetCursorPos(&at);
    const unsigned chosen = ChooseFromMenu(hwnd, HeaderMenuEntries(), at);
    const ListView rows(list.hwnd);
    if (chosen == kSortAscending || chosen == kSortDescending) {
        POINT p = at;
        ScreenToClient(rows.Header(), &p);
        const int count = rows.HeaderCount();
        for (int i = 0; i < count; ++i) {
            RECT r{};
            if (!rows.HeaderItemRect(i, r) || !PtInRect(&r, p)) continue;
            const ColumnTag* tag = rows.HeaderTag(i);
            SortByColumn(FindColumn(settings, tag ? tag->key : nullptr),
                         chosen == kSortAscending ? 1 : 2);
        }
    } else if (chosen == kSelectColumnsCommand) {
        SelectColumns();
    }
    return 0;
}

LRESULT CDialogBrowser::ShowPeerMenu(POINT click) {
    const ListView rows(list.hwnd);
    const int row = rows.SelectionMark();
    RECT bounds{};
    // A right-click beside the marked row shows no menu.
    if (row < 0 || !rows.RowBounds(row, bounds) || !PtInRect(&bounds, click)) return 0;
    const PeerRecord* found = rows.Record(row);
    if (!found) return 0;
    // A copy: the menu's loop dispatches messages, and an age-out tick may
    // remove the row and free its record meanwhile.
    const PeerRecord record = *found;
    SetForegroundWindow(hwnd);
    POINT at{};
    GetCursorPos(&at);
    const unsigned chosen = ChooseFromMenu(hwnd, PeerMenuEntries(record), at);
    // The file is reached again, off this thread, when it is played or its
    // folder opened: OnShareProbed acts once the answer comes.
    if (chosen == kPlayTheFile)
        prober.Request(AnnouncedShareProbe(record, ShareProbe::Kind::PlayFile));
    else if (chosen == kOpenSharedDirectory)
        prober.Request(AnnouncedShareProbe(record, ShareProbe::Kind::OpenFolder));
    else if (chosen == kGetPlaylist)
        StartPlaylistRequest(record);
    return 0;
}

void CDialogBrowser::OnShareProbed() {
    using Kind = ShareProbe::Kind;
    std::vector<std::string> lost;
    const std::vector<ShareProbeAnswer> answers = prober.TakeAnswers(lost);
    if (!lost.empty()) OnRowProbesLost(lost);
    for (const ShareProbeAnswer& a : answers) {
        if (a.probe.paths.empty() || a.reached.size() != a.probe.paths.size()) continue;
        // The peer names the file as its own local path; this computer
        // reaches it only under the network name that opened.
        const std::string& reached = a.reached.front();
        switch (a.probe.kind) {
        case Kind::Announced:
            OnRowProbed(a.probe.address.c_str(), a.probe.paths.front().c_str(), !reached.empty());
            break;
        case Kind::PlayFile:
            if (reached.empty() || reached.size() >= wa::kPlayFileRoom) break;
            playerWindow().AppendFile(reached, hwnd);
            playerWindow().PlayLastEntry();
            break;
        case Kind::OpenFolder:
            // Only a folder the prober saw as one, and with the verb that
            // shows a folder and never starts a program, should the peer
            // swap the folder for a file meanwhile.
            if (a.folder.empty() || reached.size() >= wa::kPlayFileRoom) {
                if (!reached.empty())
                    OutputDebugStringA("Orvela: a shared file's folder is no folder\n");
                break;
            }
            ShellExecuteA(nullptr, "explore", a.folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            break;
        case Kind::Playlist:
            importPlaylist(a);
            break;
        }
    }
}

void CDialogBrowser::SortByColumn(ColumnSettings& column, int direction) {
    column.sortMark = direction;
    ListView(list.hwnd).Sort(&CompareRowsByLocale, reinterpret_cast<LPARAM>(&column));
}

LRESULT CDialogBrowser::ChangeUserGroup() {
    CDialogUserGroup dialog(settings.userGroup);
    dialog.runModal(IDD_USER_GROUP, this);
    if (dialog.accepted != 1) return 1;
    settings.userGroup = dialog.value;
    // Saved at once, not only when the window goes: this computer's agent
    // announces on the group of the player's settings file.
    if (!SaveBrowserUserGroup(settings.userGroup))
        OutputDebugStringA("gen_orvela: the user group could not be saved\n");
    receiver.Close();
    // A join that fails leaves the list empty; nothing is shown.
    receiver.Join(settings.groupAddress, settings.userGroup);
    ShowUserGroup(settings.userGroup);
    ClearPeers();
    activeRow = -1;
    return 1;
}

void CDialogBrowser::StartPlaylistRequest(const PeerRecord& record) {
    request.Close();
    ++playlistSerial; // entries of an earlier list still being reached no longer count
    // The announced port as it is: no agent answers at port 0, and nothing
    // is shown for a request that could not be opened.
    request.Open(static_cast<uint32_t>(wire::kMaxPlaylistAnswer), record.address, record.port,
                 record.computerName, hwnd);
}

LRESULT CDialogBrowser::OnPlaylistSocket(WPARAM socket, LPARAM event) {
    // Events still queued for an abandoned request's socket are dropped.
    if (request.Socket() == INVALID_SOCKET || static_cast<SOCKET>(socket) != request.Socket())
        return 1;
    if (WSAGETSELECTERROR(event)) {
        request.Close();
        return 1;
    }
    if (WSAGETSELECTEVENT(event) == FD_WRITE) {
        // The socket is ready: the one moment the request is sent.
        request.Send(wire::kGetPlaylist.data(), wire::kGetPlaylist.size());
        return 1;
    }
    if (WSAGETSELECTEVENT(event) != FD_READ) return 1;

    size_t received = 0;
    bool none = false;
    if (const int error = request.Receive(received, none)) {
        request.Close();
        ShowMessage(hwnd, RequestFailureMessage(static_cast<unsigned>(error)), kPlaylistCaption);
        return 1;
    }
    if (none) return 1;
    const PlaylistOutcome outcome =
        ReadPlaylistAnswer(request.Buffer(), received, request.PeerName());
    // One answer per request: the socket goes before any box, whose loop
    // would otherwise dispatch the peer's next datagram into another box.
    const std::string peerName = request.PeerName();
    request.Close();
    if (outcome.kind != PlaylistOutcome::Kind::Import) {
        ShowMessage(hwnd, outcome.message, kPlaylistCaption);
        return 1;
    }
    // Entries may live on any server and each may wait on the network, so
    // they are reached off this thread; importPlaylist adds those that were.
    ShareProbe probe;
    probe.kind = ShareProbe::Kind::Playlist;
    probe.computerName = peerName;
    probe.paths = outcome.entries;
    probe.serial = playlistSerial;
    prober.Request(std::move(probe));
    return 1;
}

void CDialogBrowser::importPlaylist(const ShareProbeAnswer& answer) {
    // A later request abandoned this one.
    if (answer.probe.serial != playlistSerial) return;
    const PlaylistOutcome outcome =
        KeepReachedEntries(answer.reached, answer.probe.computerName.c_str());
    if (outcome.kind != PlaylistOutcome::Kind::Import) {
        ShowMessage(hwnd, outcome.message, kPlaylistCaption);
        return;
    }
    const PlayerWindow player = playerWindow();
    player.EditorCommand(wa::CMD_PE_BEFORE_LIST);
    for (const std::string& entry : outcome.entries)
        player.AppendFile(entry, hwnd);
}

LRESULT CDialogUserGroup::OnInitDialog() {
    CDialogOrv::OnInitDialog();
    SetDlgItemInt(hwnd, IDC_USER_GROUP_EDIT, value, FALSE);
    SendDlgItemMessageA(hwnd, IDC_USER_GROUP_EDIT, EM_LIMITTEXT, 3, 0);
    return 1;
}

void CDialogUserGroup::OnOK() {
    char text[kUserGroupTextRoom] = {};
    GetDlgItemTextA(hwnd, IDC_USER_GROUP_EDIT, text, sizeof text);
    // Out of range: the dialog stays open, without a word.
    if (!ParseUserGroup(text, value)) return;
    accepted = 1;
    endDialog(IDOK);
}

void CDialogUserGroup::OnCancel() {
    accepted = 0;
    endDialog(IDCANCEL);
}
