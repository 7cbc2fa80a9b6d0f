#include "browser/columns_win.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "browser/listview_win.h"
#include "browser/resource.h"

static_assert(IDC_SHOW_COMPUTER == kSelectColumnsFirstBox);
static_assert(IDC_SHOW_SHARED == kSelectColumnsFirstBox + kSelectColumnsBoxes - 1);

namespace {

ColumnTag* TagOf(HWND header, int index) {
    HDITEMA item{};
    item.mask = HDI_LPARAM;
    if (!SendMessageA(header, HDM_GETITEMA, index, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<ColumnTag*>(item.lParam);
}

bool SetTag(HWND header, int index, ColumnTag* tag) {
    HDITEMA item{};
    item.mask = HDI_LPARAM;
    item.lParam = reinterpret_cast<LPARAM>(tag);
    return SendMessageA(header, HDM_SETITEMA, index, reinterpret_cast<LPARAM>(&item)) != 0;
}

} // namespace

int ListViewColumns::HeaderCount() const {
    const LRESULT n = SendMessageA(header_, HDM_GETITEMCOUNT, 0, 0);
    return n > 0 ? static_cast<int>(n) : 0;
}

const ColumnTag* ListViewColumns::HeaderTag(int index) const {
    return TagOf(header_, index);
}

bool ListViewColumns::InsertColumn(int index, const ColumnSettings& column,
                                   std::unique_ptr<ColumnTag> tag) {
    char title[kColumnTextRoom] = {};
    std::memcpy(title, column.title, strnlen(column.title, sizeof title - 1));
    LVCOLUMNA c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM | LVCF_ORDER;
    c.fmt = LVCFMT_LEFT;
    c.cx = std::clamp(column.width, 0, kMaxColumnWidth);
    c.pszText = title;
    c.iSubItem = index;
    c.iOrder = column.position;
    const auto at = static_cast<int>(
        SendMessageA(list_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&c)));
    if (at < 0) return false;
    // An untagged column could never be found again, so it must not stay.
    if (!SetTag(header_, at, tag.get())) {
        SendMessageA(list_, LVM_DELETECOLUMN, at, 0);
        return false;
    }
    tag.release(); // now the header item's
    return true;
}

bool ListViewColumns::DeleteColumn(int index) {
    ColumnTag* tag = TagOf(header_, index);
    if (!SendMessageA(list_, LVM_DELETECOLUMN, index, 0)) return false;
    delete tag;
    return true;
}

int ListViewColumns::RowCount() const {
    return ListView(list_).Count();
}

const PeerRecord* ListViewColumns::RowRecord(int row) const {
    return ListView(list_).Record(row);
}

void ListViewColumns::SetCellText(int row, int subItem, const char* text) {
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void ListViewColumns::FreeTags() {
    const int n = HeaderCount();
    for (int i = 0; i < n; ++i) {
        ColumnTag* tag = TagOf(header_, i);
        if (tag && SetTag(header_, i, nullptr)) delete tag;
    }
}

LRESULT CDialogSelectColumns::OnInitDialog() {
    CDialogOrv::OnInitDialog();
    for (int i = 0; i < kSelectColumnsBoxes; ++i) {
        const bool shown = FindColumn(settings, kColumnKeys[i]).visible != 0;
        CheckDlgButton(hwnd, kSelectColumnsFirstBox + i, shown ? BST_CHECKED : BST_UNCHECKED);
    }
    return 1;
}

void CDialogSelectColumns::OnOK() {
    bool checked[kSelectColumnsBoxes] = {};
    for (int i = 0; i < kSelectColumnsBoxes; ++i)
        checked[i] = IsDlgButtonChecked(hwnd, kSelectColumnsFirstBox + i) == BST_CHECKED;
    // With nothing checked the dialog stays open: the list keeps a column.
    if (!TakeColumnSelection(settings, checked)) return;
    accepted = 1;
    endDialog(IDOK);
}

void CDialogSelectColumns::OnCancel() {
    accepted = 0;
    endDialog(IDCANCEL);
}
