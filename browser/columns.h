// Column bookkeeping of the browser list: which list column shows which
// column record, how header items are tagged with their column's key, and
// which cells a row's texts go to. The list control itself sits behind
// ColumnList, so the same rules drive the real list-view and a test's fake.
#pragma once

#include <memory>

#include "browser/settings.h"
#include "wire/peer_record.h"

// Every header item carries one of these as its item data: a zero-filled
// copy of its column's key, which maps the item back to its record.
struct ColumnTag {
    char key[kColumnTextRoom] = {};
};
std::unique_ptr<ColumnTag> MakeColumnTag(const char* key);

// The browser list and its header, as the column bookkeeping sees them.
class ColumnList {
  public:
    virtual ~ColumnList() = default;
    virtual int HeaderCount() const = 0;
    // The tag of header item `index`, or null when it has none.
    virtual const ColumnTag* HeaderTag(int index) const = 0;
    // Inserts a left-aligned list column at `index` (also its sub-item
    // number) with the record's width and title, asking for the record's
    // position as its display position, and attaches `tag` to its header
    // item. False when the control made no column; the tag is then freed.
    virtual bool InsertColumn(int index, const ColumnSettings& column,
                              std::unique_ptr<ColumnTag> tag) = 0;
    // Deletes list column `index` and frees its header item's tag; false
    // when the control refused, and the column and its tag stay.
    virtual bool DeleteColumn(int index) = 0;
    virtual int RowCount() const = 0;
    // The row's record, or null for a row without one.
    virtual const PeerRecord* RowRecord(int row) const = 0;
    virtual void SetCellText(int row, int subItem, const char* text) = 0;
};

// The first of records 1..4 whose key equals `key` without regard to ASCII
// case; record 0 when none does or `key` is null.
ColumnSettings& FindColumn(CBrowserSettings& settings, const char* key);
const ColumnSettings& FindColumn(const CBrowserSettings& settings, const char* key);

// Makes the list's columns match the `visible` flags of records 1..4:
// removes the hidden ones (4 down to 1), then appends the missing shown ones
// (1 up to 4). Columns already present keep their width, order and cells.
// A column the control refuses to remove or to make has its `visible` set
// to what the list shows, so the saved settings never say otherwise.
void ApplyColumns(ColumnList& list, CBrowserSettings& settings);

// Writes the cells of the shown columns of one row.
void SetRowTexts(ColumnList& list, const CBrowserSettings& settings, int row,
                 const PeerRecord& record);
// SetRowTexts for every row that carries a record.
void RefreshRowTexts(ColumnList& list, const CBrowserSettings& settings);

// "Select columns": the check boxes 1010..1013 stand for these keys in order.
constexpr int kSelectColumnsFirstBox = 1010;
constexpr int kSelectColumnsBoxes = 4;

// Takes the check boxes' states into the dialog's copy and answers whether
// "Select" may close the dialog: only when at least one column is shown.
bool TakeColumnSelection(CBrowserSettings& copy, const bool (&checked)[kSelectColumnsBoxes]);
// After an accepted dialog: records 1..4 of the copy replace the browser's.
void CopyColumnRecords(CBrowserSettings& to, const CBrowserSettings& from);
