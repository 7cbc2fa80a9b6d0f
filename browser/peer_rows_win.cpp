#include "browser/peer_rows_win.h"

#include <commctrl.h>

#include "browser/listview_win.h"

int ListViewPeerRows::Count() const {
    return ListView(list_).Count();
}

PeerRecord* ListViewPeerRows::RecordAt(int row) const {
    return ListView(list_).Record(row);
}

int ListViewPeerRows::Append(PeerRecord* record) {
    if (!list_ || !record) return -1;
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = Count() + 1;
    item.lParam = reinterpret_cast<LPARAM>(record);
    const LRESULT index = SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return index >= 0 ? static_cast<int>(index) : -1;
}

void ListViewPeerRows::Remove(int row) {
    if (list_) SendMessageA(list_, LVM_DELETEITEM, row, 0);
}

void ListViewPeerRows::RemoveAll() {
    if (list_) SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
}

void ListViewPeerRows::SetRowTexts(int row, const PeerRecord& record) {
    if (list_) ::SetRowTexts(cells_, settings_, row, record);
}

void ListViewPeerRows::RedrawVisibleRows() {
    if (!list_) return;
    const auto top = static_cast<int>(SendMessageA(list_, LVM_GETTOPINDEX, 0, 0));
    const auto perPage = static_cast<int>(SendMessageA(list_, LVM_GETCOUNTPERPAGE, 0, 0));
    SendMessageA(list_, LVM_REDRAWITEMS, top, top + perPage);
}
