// The browser window: one modeless dialog inside the player's skinned frame,
// created on the first "Local network..." and kept until the process ends.
// Closing only hides the frame; the settings are saved when the frame is
// destroyed with the player.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "base/owners_win.h"
#include "browser/painting_win.h"
#include "browser/settings.h"
#include "browser/wnd_win.h"
#include "peers/peer_table.h"
#include "peers/presence_win.h"
#include "peers/share_probe_win.h"
#include "peers/udp_request_win.h"
#include "player/player_win.h"
#include "wire/peer_record.h"

class CDialogBrowser;

// The browser's list control (1007): routes its keys through the browser's
// accelerators and frees its header tags when it goes.
class CWndOrvelaList : public CWndObject {
  public:
    LRESULT OnKeyDown(WPARAM key, WORD repeat, WORD flags) override;
    // The header's right-click goes to the browser's dispatch (the platform's
    // list-view does not always pass it on).
    LRESULT OnNotify(WPARAM id, NMHDR* header, LRESULT* result) override;
    LRESULT OnDestroy() override;
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // The list paints inside a ListPaintPass::Scope (browser/painting_win.cpp).
    LRESULT OnPaint(WPARAM wParam) override;

    CDialogBrowser* browser = nullptr; // not owned
    ListPaintPass paintPass;           // what the cells of one paint share
};

class CDialogBrowser : public CDialogOrv {
  public:
    explicit CDialogBrowser(HWND playerWindow);

    LRESULT OnInitDialog() override;
    LRESULT OnPaint(WPARAM) override;
    LRESULT OnSize(UINT type, int cx, int cy) override;
    LRESULT OnCommand(UINT code, WPARAM id, CWndObject control) override;
    LRESULT OnNotify(WPARAM id, NMHDR* header, LRESULT* result) override;
    LRESULT OnDisplayChange(WPARAM depth, WORD width, WORD height) override;
    LRESULT OnDestroy() override;
    LRESULT OnClose() override;
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // (Re)creates `font` from the player's skin font.
    void createFont();
    // "[user group : %u]" into the label.
    void ShowUserGroup(unsigned group);

    // The list's columns and cells (see browser/columns.h).
    void ApplyColumns();
    void SetRowTexts(int row, const PeerRecord& record);
    void RefreshRowTexts();
    // Runs "Select columns" and applies it when accepted.
    void SelectColumns();

    // The peer table, kept in the list's rows (see peers/peer_table.h). Each
    // row owns its record; OnPeerAnnounced takes ownership of `record`.
    void OnPeerAnnounced(std::unique_ptr<PeerRecord> record);
    // WM_SHARE_PROBED: the rows' Shared cells, and the commands that waited
    // for their files to be reached.
    void OnShareProbed();
    void OnRowProbed(const char* address, const char* path, bool reachable);
    void OnRowProbesLost(const std::vector<std::string>& addresses);
    void AgeOutPeers();
    void ClearPeers();
    void RedrawVisibleRows();

    // The list's and its header's notifications; 0 when not handled.
    LRESULT OnListNotify(NMHDR* header, LRESULT* result);
    // Custom drawing, all from the skin: the list's cells and the activated
    // row's frame, the header's items, and every part of the list's scroll
    // bars (browser/painting_win.cpp).
    virtual LRESULT OnListCustomDraw(NMLVCUSTOMDRAW* draw, LRESULT* result);
    LRESULT OnScrollPartDraw(NMHDR* header, LRESULT* result);
    LRESULT OnHeaderCustomDraw(NMCUSTOMDRAW* draw, LRESULT* result);

    // Frames `row` and asks its computer for its sound; 0 for row -1.
    LRESULT ActivateRow(int row);
    LRESULT ShowHeaderMenu();
    // `click` is the right-click's point in the list's client coordinates.
    LRESULT ShowPeerMenu(POINT click);
    // Sorts the rows by the column in `direction` (1 ascending, 2 descending),
    // which the column keeps as its sortMark.
    void SortByColumn(ColumnSettings& column, int direction);
    // "User group...": a new group re-joins the receiver and empties the list.
    LRESULT ChangeUserGroup();
    // "Get <name>'s playlist": abandons any request still open.
    void StartPlaylistRequest(const PeerRecord& record);
    LRESULT OnPlaylistSocket(WPARAM socket, LPARAM event);

    // Offers a key message from `source` to the accelerator table; true when
    // it became a command.
    bool translateKey(HWND source, UINT msg, WPARAM wParam, LPARAM lParam);

    int shown = 0;      // 1 once the menu command has shown the frame again; 0 after closing
    UINT_PTR timer = 0; // the age-out timer, 0 while it does not run
    CWndOrvelaList list;
    CWndObject header; // only passes messages on
    Font font;         // the row font
    CWndObject player; // where the host's IPC messages go
    int activeRow = -1;
    HACCEL accelerators = nullptr; // a resource: freed with the module
    WinsockSession winsock;        // before every socket below, ended after them
    CPresenceReceiver receiver;    // its events and records come to this dialog
    PeerRowIndex rowIndex;         // where the list's rows are, by address
    CUdpRequest request;           // the playlist request; its events come here too
    CBrowserSettings settings;
    CShareProber prober;         // every share probe; its answers come here too
    uint32_t playlistSerial = 0; // the playlist request whose entries count

  private:
    PlayerWindow playerWindow() const { return PlayerWindow(player.hwnd); }
    void importPlaylist(const ShareProbeAnswer& answer);
    HWND headerWindow() const;
    template <class F> void withPeerTable(F&& use);
    void stopPresence();
    void applyListColors();
    void captureColumnLayout();
};

// "Change user group": edits a copy of the group; the browser applies it only
// when `accepted` is 1.
class CDialogUserGroup : public CDialogOrv {
  public:
    explicit CDialogUserGroup(uint8_t group) : value(group) {}
    LRESULT OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    int accepted = 0;
    uint8_t value;
};
