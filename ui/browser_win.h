// The browser window: one modeless dialog inside the player's skinned frame,
// created on the first "Local network..." and kept until the process ends.
// Closing only hides the frame; the settings are saved when the frame is
// destroyed with the player.
#pragma once

#include <windows.h>

#include "net/peer_record.h"
#include "net/presence_win.h"
#include "ui/gdi_win.h"
#include "ui/settings.h"
#include "ui/wnd_win.h"

class CDialogBrowser;

// The browser's list control (1007): routes its keys through the browser's
// accelerators and frees its header tags when it goes.
class CWndOrvelaList : public CWndObject {
  public:
    LRESULT OnKeyDown(WPARAM key, WORD repeat, WORD flags) override;
    LRESULT OnDestroy() override;
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    CDialogBrowser* browser = nullptr; // not owned
};

class CDialogBrowser : public CDialogOrv {
  public:
    explicit CDialogBrowser(HWND playerWindow);

    LRESULT OnInitDialog() override;
    LRESULT OnPaint(WPARAM) override;
    LRESULT OnSize(UINT type, int cx, int cy) override;
    LRESULT OnCommand(UINT code, WPARAM id, CWndObject control) override;
    LRESULT OnDisplayChange(WPARAM depth, WORD width, WORD height) override;
    LRESULT OnDestroy() override;
    LRESULT OnClose() override;
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // (Re)creates `font` from the player's skin font.
    void createFont();
    // "[user group : %u]" into the label.
    void ShowUserGroup(unsigned group);

    // The list's columns and cells (see ui/columns.h).
    void ApplyColumns();
    void SetRowTexts(int row, const PeerRecord& record);
    void RefreshRowTexts();
    // Runs "Select columns" and applies it when accepted.
    void SelectColumns();

    // The peer table, kept in the list's rows (see net/peer_table.h). Each
    // row owns its record; OnPeerAnnounced takes ownership of `record`.
    void OnPeerAnnounced(PeerRecord* record);
    void AgeOutPeers();
    void ClearPeers();
    void RedrawVisibleRows();

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
    CPresenceReceiver receiver;    // its events and records come to this dialog
    CBrowserSettings settings;

  private:
    HWND headerWindow() const;
    template <class F> void withPeerTable(F&& use);
    void stopPresence();
    void applyListColors();
    void captureColumnLayout();
};
