// The browser's list painted from the player's skin: cells through one
// off-screen surface per paint in the row font, the activated row's frame,
// the header's items, and every part of the list's scroll bars from the skin
// bitmap. Every GDI object made here is gone before its paint returns.
#include "browser/painting_win.h"

#include <string>

#include "base/owners_win.h"
#include "browser/browser_win.h"
#include "browser/listview_win.h"
#include "browser/painting.h"
#include "browser/skin_win.h"
#include "scrollskin/scrollskin_win.h"

namespace {

constexpr UINT kTextFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS; // 0x8824
constexpr int kTextRoom = 260;

COLORREF Skin(int index) {
    return static_cast<COLORREF>(GetSkinColor(index));
}

void FillWith(HDC dc, const RECT& r, COLORREF colour) {
    const Brush brush(CreateSolidBrush(colour));
    FillRect(dc, &r, brush.Get());
}

// A polyline through the points with the pen selected.
void Lines(HDC dc, std::initializer_list<POINT> points) {
    const POINT* p = points.begin();
    MoveToEx(dc, p->x, p->y, nullptr);
    for (++p; p != points.end(); ++p)
        LineTo(dc, p->x, p->y);
}

bool RightAligned(HWND header, int item) {
    HDITEMA h{};
    h.mask = HDI_FORMAT;
    return SendMessageA(header, HDM_GETITEMA, item, reinterpret_cast<LPARAM>(&h)) &&
           (h.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT;
}

} // namespace

bool CellSurface::Make(HDC like, int w, int h, HFONT font) {
    Release();
    dc_.Reset(CreateCompatibleDC(like));
    bitmap_.Reset(dc_ ? CreateCompatibleBitmap(like, w, h) : nullptr);
    if (!bitmap_) {
        Release();
        return false;
    }
    oldBitmap_ = SelectObject(dc_.Get(), bitmap_.Get());
    oldFont_ = font ? SelectObject(dc_.Get(), font) : nullptr;
    SetBkMode(dc_.Get(), TRANSPARENT);
    w_ = w;
    h_ = h;
    return true;
}

void CellSurface::Release() {
    if (dc_) {
        if (oldFont_) SelectObject(dc_.Get(), oldFont_);
        if (oldBitmap_) SelectObject(dc_.Get(), oldBitmap_);
    }
    oldFont_ = oldBitmap_ = nullptr;
    dc_.Reset();
    bitmap_.Reset();
    w_ = h_ = 0;
}

void ListPaintPass::Prepare(HWND list, HDC dc, HFONT font) {
    font_ = font;
    row_ = -1;
    const ListView rows(list);
    HWND header = rows.Header();
    layout_ = CellLayout{};
    layout_.topRow = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
    const bool anyRow = layout_.topRow < rows.Count();
    const int count = header ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i) {
        CellLayout::Column column;
        RECT cell{LVIR_LABEL, i, 0, 0}, item{};
        // The label's right edge, and the header item's width to its left.
        if (anyRow &&
            SendMessageA(list, LVM_GETSUBITEMRECT, layout_.topRow,
                         reinterpret_cast<LPARAM>(&cell)) &&
            SendMessageA(header, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item))) {
            column = {cell.right - (item.right - item.left), cell.right, RightAligned(header, i)};
            layout_.topRowTop = cell.top;
            layout_.rowHeight = cell.bottom - cell.top;
        }
        layout_.columns.push_back(column);
    }
    const SkinRect largest = layout_.Largest();
    if (painting_ && largest.w > 0 && largest.h > 0 && !surface_.Fits(largest.w, largest.h))
        surface_.Make(dc, largest.w, largest.h, font_);
}

void ListPaintPass::BeginRow(HWND list, int row) {
    row_ = row;
    selected_ = SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED;
}

bool ListPaintPass::PaintCell(HWND list, HDC dc, int row, int subItem) {
    SkinRect cell;
    if (!layout_.Cell(row, subItem, cell)) return false;
    if (row != row_) BeginRow(list, row);
    CellSurface own; // outside a paint: made for this cell alone
    CellSurface& surface = painting_ ? surface_ : own;
    if (!surface.Fits(cell.w, cell.h) && !surface.Make(dc, cell.w, cell.h, font_)) return false;

    char text[1 + kTextRoom] = {' '}; // every cell's text starts with one space
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = text + 1;
    item.cchTextMax = kTextRoom;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));

    HDC memory = surface.Dc();
    const RECT all{0, 0, cell.w, cell.h};
    // An opaque empty text fills without a brush.
    SetBkColor(memory, Skin(selected_ ? 19 : 0));
    ExtTextOutA(memory, 0, 0, ETO_OPAQUE, &all, nullptr, 0, nullptr);
    SetTextColor(memory, Skin(selected_ ? 18 : 1));
    RECT textRect{0, 1, cell.w - 5, cell.h};
    const bool right = layout_.columns[static_cast<size_t>(subItem)].rightAligned;
    DrawTextA(memory, text, -1, &textRect, kTextFormat | (right ? DT_RIGHT : 0));
    BitBlt(dc, cell.x, cell.y, cell.w, cell.h, memory, 0, 0, SRCCOPY);
    return true;
}

LRESULT CWndOrvelaList::OnPaint(WPARAM wParam) {
    const ListPaintPass::Scope scope(paintPass);
    DefaultProc(WM_PAINT, wParam, 0);
    return 1; // painted
}

LRESULT CDialogBrowser::OnListCustomDraw(NMLVCUSTOMDRAW* draw, LRESULT* result) {
    NMCUSTOMDRAW& cd = draw->nmcd;
    const int row = static_cast<int>(cd.dwItemSpec);
    *result = 0;
    switch (cd.dwDrawStage) {
    case CDDS_PREPAINT:
        list.paintPass.Prepare(list.hwnd, cd.hdc, font.Get());
        *result = CDRF_NOTIFYITEMDRAW;
        break;
    case CDDS_ITEMPREPAINT:
        *result = CDRF_NOTIFYSUBITEMDRAW | (row == activeRow ? CDRF_NOTIFYPOSTPAINT : 0);
        break;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        if (list.paintPass.PaintCell(list.hwnd, cd.hdc, row, draw->iSubItem))
            *result = CDRF_SKIPDEFAULT;
        break;
    case CDDS_ITEMPOSTPAINT: {
        RECT r{};
        if (row != activeRow || !ListView(list.hwnd).RowBounds(row, r)) break;
        const Pen pen(CreatePen(PS_SOLID, 0, Skin(1)));
        const SelectedObject usePen(cd.hdc, pen.Get());
        Lines(cd.hdc, {{r.left, r.top},
                       {r.left, r.bottom - 1},
                       {r.right - 1, r.bottom - 1},
                       {r.right - 1, r.top},
                       {r.left, r.top}});
        break;
    }
    }
    return 1;
}

LRESULT CDialogBrowser::OnHeaderCustomDraw(NMCUSTOMDRAW* cd, LRESULT* result) {
    *result = 0;
    if (cd->dwDrawStage == CDDS_PREPAINT) {
        *result = CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        return 1;
    }
    HWND header = cd->hdr.hwndFrom;
    if (cd->dwDrawStage == CDDS_POSTPAINT) {
        // The header's empty end in the list's colour 12.
        const int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
        const int last =
            count > 0 ? static_cast<int>(SendMessageA(header, HDM_ORDERTOINDEX, count - 1, 0)) : -1;
        RECT item{}, client{};
        GetClientRect(list.hwnd, &client);
        if (last >= 0 &&
            SendMessageA(header, HDM_GETITEMRECT, last, reinterpret_cast<LPARAM>(&item)) &&
            item.right < client.right)
            FillWith(cd->hdc, {item.right, client.top, client.right + 10, client.bottom}, Skin(12));
        return 1;
    }
    if (cd->dwDrawStage != CDDS_ITEMPREPAINT) return 0;
    const RECT r = cd->rc;
    const int l = r.left, t = r.top, rt = r.right, b = r.bottom;
    FillWith(cd->hdc, r, Skin(7));
    const Pen light(CreatePen(PS_SOLID, 0, Skin(9)));
    const Pen inner(CreatePen(PS_SOLID, 0, Skin(10)));
    const Pen black(CreatePen(PS_SOLID, 0, RGB(0, 0, 0)));
    const bool pressed = (cd->uItemState & CDIS_SELECTED) != 0;
    {
        const SelectedObject usePen(cd->hdc, black.Get());
        if (pressed) {
            Lines(cd->hdc, {{l, b}, {l, t}, {rt - 1, t}, {rt - 1, b - 1}, {l, b - 1}});
        } else {
            SelectObject(cd->hdc, light.Get());
            Lines(cd->hdc, {{l, b}, {l, t}, {rt, t}});
            SelectObject(cd->hdc, inner.Get());
            Lines(cd->hdc, {{l + 1, b - 2}, {rt - 2, b - 2}, {rt - 2, t}});
            SelectObject(cd->hdc, black.Get());
            Lines(cd->hdc, {{l, b - 1}, {rt - 1, b - 1}, {rt - 1, t - 1}});
        }
    }
    char text[kTextRoom] = {};
    HDITEMA item{};
    item.mask = HDI_TEXT | HDI_FORMAT;
    item.pszText = text;
    item.cchTextMax = kTextRoom;
    SendMessageA(header, HDM_GETITEMA, cd->dwItemSpec, reinterpret_cast<LPARAM>(&item));
    SetTextColor(cd->hdc, Skin(8));
    SetBkMode(cd->hdc, TRANSPARENT);
    const int shift = pressed ? 1 : 0;
    RECT textRect{l + 5 + shift, t + 1, rt - 5 + shift, b};
    DrawTextA(cd->hdc, text, -1, &textRect,
              kTextFormat | ((item.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT ? DT_RIGHT : 0));
    *result = CDRF_SKIPDEFAULT;
    return 1;
}

LRESULT CDialogBrowser::OnScrollPartDraw(NMHDR* header, LRESULT* result) {
    auto* n = reinterpret_cast<ScrollSkinDraw*>(header);
    *result = 0;
    if (n->stage == CDDS_PREPAINT) {
        *result = CDRF_SKIPDEFAULT;
        return 1;
    }
    if (n->stage != CDDS_ITEMPREPAINT) return 1;
    const RECT& r = n->rect;
    if (n->bar == kCornerBar) {
        FillWith(n->dc, r, Skin(17));
        *result = CDRF_SKIPDEFAULT;
        return 1;
    }
    if (n->bar != 0 && n->bar != 1) return 1;
    const bool pressed = n->state == kPartPressed;
    if (n->part == kLowTrack || n->part == kHighTrack) {
        const SkinRect& colours = ScrollPartSource(n->bar, pressed, n->part);
        FillWith(n->dc, r, BlendColors(GetSkinColor(colours.x), GetSkinColor(colours.y)));
        *result = CDRF_SKIPDEFAULT;
        return 1;
    }
    HBITMAP skin = SkinBitmap();
    const MemoryDC source(CreateCompatibleDC(n->dc));
    if (!skin || !source) return 1;
    const SelectedObject useSkin(source.Get(), skin);
    SetStretchBltMode(n->dc, COLORONCOLOR);
    const auto copy = [&](const SkinRect& from, const SkinRect& to) {
        StretchBlt(n->dc, to.x, to.y, to.w, to.h, source.Get(), from.x, from.y, from.w, from.h,
                   SRCCOPY);
    };
    if (n->part == kThumb) {
        for (const ThumbPiece& p : ThumbPieces(n->bar, pressed, r.left, r.top, r.right, r.bottom))
            copy(p.source, p.dest);
    } else {
        copy(ScrollPartSource(n->bar, pressed, n->part),
             {r.left, r.top, r.right - r.left, r.bottom - r.top});
    }
    *result = CDRF_SKIPDEFAULT;
    return 1;
}
