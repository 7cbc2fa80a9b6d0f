#include "browser/columns.h"

#include <cstring>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameKey(const char* a, const char* b) {
    for (size_t i = 0; i < kColumnTextRoom; ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
        if (a[i] == 0) return true;
    }
    return true;
}

int FindHeaderItem(const ColumnList& list, const char* key) {
    const int count = list.HeaderCount();
    for (int i = 0; i < count; ++i)
        if (const ColumnTag* tag = list.HeaderTag(i); tag && SameKey(tag->key, key)) return i;
    return -1;
}

const char* CellText(const char* key, const PeerRecord& r) {
    if (SameKey(key, kColumnKeys[0])) return r.computerName;
    if (SameKey(key, kColumnKeys[1])) return r.userName;
    if (SameKey(key, kColumnKeys[2])) return r.title;
    return r.sharedReachable ? "Yes" : "No";
}

} // namespace

std::unique_ptr<ColumnTag> MakeColumnTag(const char* key) {
    auto tag = std::make_unique<ColumnTag>();
    if (key) std::memcpy(tag->key, key, strnlen(key, sizeof tag->key - 1));
    return tag;
}

ColumnSettings& FindColumn(CBrowserSettings& settings, const char* key) {
    if (key)
        for (int i = 1; i < kColumnRecords; ++i)
            if (SameKey(settings.columns[i].key, key)) return settings.columns[i];
    return settings.columns[0];
}

const ColumnSettings& FindColumn(const CBrowserSettings& settings, const char* key) {
    return FindColumn(const_cast<CBrowserSettings&>(settings), key);
}

void ApplyColumns(ColumnList& list, CBrowserSettings& settings) {
    for (int i = kColumnRecords - 1; i >= 1; --i) {
        ColumnSettings& c = settings.columns[i];
        if (c.visible != 0) continue;
        const int item = FindHeaderItem(list, c.key);
        if (item < 0) continue;
        // The item that carries the key is the column to go, so its tag and
        // its column are always removed together. A list control that keeps
        // it (column 0 on one that was not told its version) goes on showing
        // it, so it stays shown here too.
        if (!list.DeleteColumn(item)) {
            c.visible = 1;
            continue;
        }
        const int count = list.HeaderCount();
        for (int j = 0; j < count; ++j) {
            const ColumnTag* tag = list.HeaderTag(j);
            FindColumn(settings, tag ? tag->key : nullptr).listIndex = j;
        }
    }
    for (int i = 1; i < kColumnRecords; ++i) {
        ColumnSettings& c = settings.columns[i];
        if (c.visible == 0 || FindHeaderItem(list, c.key) >= 0) continue;
        const int n = list.HeaderCount();
        c.listIndex = n;
        // A column the control refused is not shown and has no cells to write.
        if (!list.InsertColumn(n, c, MakeColumnTag(c.key))) {
            c.listIndex = -1;
            c.visible = 0;
        }
    }
}

void SetRowTexts(ColumnList& list, const CBrowserSettings& settings, int row,
                 const PeerRecord& record) {
    for (const char* key : kColumnKeys) {
        const ColumnSettings& c = FindColumn(settings, key);
        if (c.visible != 0 && c.listIndex >= 0)
            list.SetCellText(row, c.listIndex, CellText(key, record));
    }
}

void RefreshRowTexts(ColumnList& list, const CBrowserSettings& settings) {
    const int rows = list.RowCount();
    for (int row = 0; row < rows; ++row)
        if (const PeerRecord* r = list.RowRecord(row)) SetRowTexts(list, settings, row, *r);
}

bool TakeColumnSelection(CBrowserSettings& copy, const bool (&checked)[kSelectColumnsBoxes]) {
    bool any = false;
    for (int i = 0; i < kSelectColumnsBoxes; ++i) {
        FindColumn(copy, kColumnKeys[i]).visible = checked[i] ? 1 : 0;
        any = any || checked[i];
    }
    return any;
}

void CopyColumnRecords(CBrowserSettings& to, const CBrowserSettings& from) {
    for (int i = 1; i < kColumnRecords; ++i)
        to.columns[i] = from.columns[i];
}
