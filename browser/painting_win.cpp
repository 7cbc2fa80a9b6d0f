// The browser's list painted from the player's skin: cells through
// off-screen bitmaps in the row font, the activated row's frame, the header's
// items, and every part of the list's scroll bars from the skin bitmap. Every
// GDI object made here is gone before its handler returns.
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

LRESULT CDialogBrowser::OnListCustomDraw(NMLVCUSTOMDRAW* draw, LRESULT* result) {
    NMCUSTOMDRAW& cd = draw->nmcd;
    const ListView rows(list.hwnd);
    const int row = static_cast<int>(cd.dwItemSpec);
    *result = 0;
    switch (cd.dwDrawStage) {
    case CDDS_PREPAINT:
        *result = CDRF_NOTIFYITEMDRAW;
        break;
    case CDDS_ITEMPREPAINT:
        *result = CDRF_NOTIFYSUBITEMDRAW | (row == activeRow ? CDRF_NOTIFYPOSTPAINT : 0);
        break;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        if (row < static_cast<int>(SendMessageA(list.hwnd, LVM_GETTOPINDEX, 0, 0))) break;
        RECT cell{LVIR_LABEL, draw->iSubItem, 0, 0};
        RECT headerItem{};
        if (!SendMessageA(list.hwnd, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell)) ||
            !rows.HeaderItemRect(draw->iSubItem, headerItem))
            break;
        cell.left = cell.right - (headerItem.right - headerItem.left);
        const int w = cell.right - cell.left, h = cell.bottom - cell.top;
        if (w <= 0 || h <= 0) break;
        char text[kTextRoom] = {};
        LVITEMA item{};
        item.iSubItem = draw->iSubItem;
        item.pszText = text;
        item.cchTextMax = kTextRoom;
        SendMessageA(list.hwnd, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        const bool selected =
            SendMessageA(list.hwnd, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED;
        const std::string shown = std::string(" ") + text;

        const MemoryDC memory(CreateCompatibleDC(cd.hdc));
        const Bitmap bitmap(CreateCompatibleBitmap(cd.hdc, w, h));
        if (!memory || !bitmap) break;
        const SelectedObject useBitmap(memory.Get(), bitmap.Get());
        FillWith(memory.Get(), {0, 0, w, h}, Skin(selected ? 19 : 0));
        const SelectedObject useFont(memory.Get(), font.Get());
        SetTextColor(memory.Get(), Skin(selected ? 18 : 1));
        SetBkMode(memory.Get(), TRANSPARENT);
        RECT textRect{0, 1, w - 5, h};
        DrawTextA(memory.Get(), shown.c_str(), -1, &textRect,
                  kTextFormat | (RightAligned(rows.Header(), draw->iSubItem) ? DT_RIGHT : 0));
        BitBlt(cd.hdc, cell.left, cell.top, w, h, memory.Get(), 0, 0, SRCCOPY);
        *result = CDRF_SKIPDEFAULT;
        break;
    }
    case CDDS_ITEMPOSTPAINT: {
        RECT r{};
        if (row != activeRow || !rows.RowBounds(row, r)) break;
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
