// Typed access to the browser's report list-view and its header, for the
// product and for the test harnesses alike: rows and their records, the
// selection mark, rectangles and the sort.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "browser/columns.h"
#include "wire/peer_record.h"

class ListView {
  public:
    explicit ListView(HWND list) : list_(list) {} // not owned

    HWND Handle() const { return list_; }
    HWND Header() const {
        return list_ ? reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0)) : nullptr;
    }
    int Count() const { return Ask(list_, LVM_GETITEMCOUNT, 0, 0); }
    // The row's record (its item data), or null.
    PeerRecord* Record(int row) const {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!list_ || row < 0 ||
            !SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
            return nullptr;
        return reinterpret_cast<PeerRecord*>(item.lParam);
    }
    int SelectionMark() const {
        return list_ ? static_cast<int>(SendMessageA(list_, LVM_GETSELECTIONMARK, 0, 0)) : -1;
    }
    // The row's whole rectangle in the list's client coordinates.
    bool RowBounds(int row, RECT& r) const {
        r = RECT{LVIR_BOUNDS, 0, 0, 0};
        return list_ && SendMessageA(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
    }
    // Scrolls until the row is entirely visible.
    void EnsureVisible(int row) const {
        if (list_) SendMessageA(list_, LVM_ENSUREVISIBLE, row, FALSE);
    }
    bool Sort(PFNLVCOMPARE compare, LPARAM parameter) const {
        return list_ && SendMessageA(list_, LVM_SORTITEMS, static_cast<WPARAM>(parameter),
                                     reinterpret_cast<LPARAM>(compare));
    }

    int HeaderCount() const { return Ask(Header(), HDM_GETITEMCOUNT, 0, 0); }
    // Header item `index`'s rectangle in the header's client coordinates.
    bool HeaderItemRect(int index, RECT& r) const {
        HWND h = Header();
        return h && SendMessageA(h, HDM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    }
    // Header item `index`'s column tag, or null.
    const ColumnTag* HeaderTag(int index) const {
        HDITEMA item{};
        item.mask = HDI_LPARAM;
        HWND h = Header();
        if (!h || !SendMessageA(h, HDM_GETITEMA, index, reinterpret_cast<LPARAM>(&item)))
            return nullptr;
        return reinterpret_cast<const ColumnTag*>(item.lParam);
    }

  private:
    static int Ask(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
        const LRESULT n = w ? SendMessageA(w, msg, wp, lp) : 0;
        return n > 0 ? static_cast<int>(n) : 0;
    }
    HWND list_;
};
