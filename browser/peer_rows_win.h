// The peer table's rows on the browser's real list-view: each row's item data
// is the pointer to the PeerRecord it owns, and its cells are written through
// the column bookkeeping. A thin, cheap view over the control: make one where
// it is needed, next to the control's ColumnList and the browser's settings.
#pragma once

#include <windows.h>

#include "browser/columns.h"
#include "peers/peer_table.h"

class ListViewPeerRows : public PeerRows {
  public:
    // `list` may be null while the control does not exist: then there are no
    // rows, nothing can be appended and nothing is redrawn.
    ListViewPeerRows(HWND list, ColumnList& cells, const CBrowserSettings& settings)
        : list_(list), cells_(cells), settings_(settings) {}

    int Count() const override;
    PeerRecord* RecordAt(int row) const override;
    // Asks for index Count() + 1, which the control places after the last row.
    int Append(PeerRecord* record) override;
    void Remove(int row) override;
    void RemoveAll() override;
    void SetRowTexts(int row, const PeerRecord& record) override;
    // Asks the control to redraw the rows of one page from its top visible row.
    void RedrawVisibleRows() override;

  private:
    HWND list_;                        // not owned
    ColumnList& cells_;                // not owned
    const CBrowserSettings& settings_; // not owned
};
