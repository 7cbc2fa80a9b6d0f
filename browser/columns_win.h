// The column bookkeeping on the real list-view and header, and the
// "Select columns" dialog.
#pragma once

#include <windows.h>

#include "browser/columns.h"
#include "browser/wnd_win.h"

// A report-style list-view and its header. Header items carry their
// ColumnTag as item data; rows carry their PeerRecord.
class ListViewColumns : public ColumnList {
  public:
    ListViewColumns(HWND list, HWND header) : list_(list), header_(header) {}
    int HeaderCount() const override;
    const ColumnTag* HeaderTag(int index) const override;
    bool InsertColumn(int index, const ColumnSettings& column,
                      std::unique_ptr<ColumnTag> tag) override;
    bool DeleteColumn(int index) override;
    int RowCount() const override;
    const PeerRecord* RowRecord(int row) const override;
    void SetCellText(int row, int subItem, const char* text) override;

    // Frees every header item's tag, for a list that is going away.
    void FreeTags();

  private:
    HWND list_;   // not owned
    HWND header_; // not owned
};

// Widths beyond this would only overflow the list's scrolling arithmetic.
constexpr int kMaxColumnWidth = 32767;

// Edits a copy of the browser's settings; the caller applies the column
// records only when `accepted` is 1.
class CDialogSelectColumns : public CDialogOrv {
  public:
    explicit CDialogSelectColumns(const CBrowserSettings& browserSettings)
        : settings(browserSettings) {}
    LRESULT OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    CBrowserSettings settings;
    int accepted = 0;
};
