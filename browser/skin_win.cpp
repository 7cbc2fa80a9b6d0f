#include "browser/skin_win.h"
#include "base/owners_win.h"

#include <algorithm>
#include <cstring>

#include "sdk/wa_ipc.h"

namespace {

// Process-wide, like the colour table: refreshed with it, released when the
// browser window goes.
Bitmap g_skinBitmap;
Brush g_dialogBrush; // the last one handed out for a control-colour message

constexpr int kButtonTextRoom = 257;
constexpr size_t kFaceNameRoom = 300;
constexpr int kMaxFontHeight = 4096; // a larger answer is no font size but garbage

LRESULT AskPlayer(HWND player, WPARAM data) {
    return SendMessageA(player, wa::WM_WA_IPC, data, wa::IPC_GET_GENSKINBITMAP);
}

LRESULT ControlColor(UINT msg, HDC dc) {
    const bool window = msg == WM_CTLCOLORDLG || msg == WM_CTLCOLORSTATIC;
    const COLORREF want = GetSkinColor(window ? 2 : 0);
    COLORREF bg = GetNearestColor(dc, want);
    if (bg == CLR_INVALID) bg = want;
    g_dialogBrush.Reset(CreateSolidBrush(bg));
    SetTextColor(dc, GetSkinColor(msg == WM_CTLCOLORSTATIC ? 4 : 1));
    SetBkColor(dc, bg);
    return reinterpret_cast<LRESULT>(g_dialogBrush.Get());
}

// The button image is 47 x 15 at (0, y0) of the skin bitmap: 4-pixel
// corners copied as they are, edges and centre stretched.
void DrawButtonPieces(HDC dc, HDC skin, const RECT& r, int y0) {
    const int l = r.left, t = r.top, rr = r.right, b = r.bottom;
    const int w = rr - l, h = b - t;
    struct Piece {
        int dx, dy, dw, dh, sx, sy, sw, sh;
    };
    const Piece pieces[] = {
        {l, t, 4, 4, 0, y0, 4, 4},
        {l + 4, t, w - 8, 4, 4, y0, 39, 4},
        {rr - 4, t, 4, 4, 43, y0, 4, 4},
        {l, t + 4, 4, h - 8, 0, y0 + 4, 4, 7},
        {rr - 4, t + 4, 4, h - 8, 43, y0 + 4, 4, 7},
        {l + 4, t + 4, w - 8, h - 8, 4, y0 + 4, 39, 7},
        {l, b - 4, 4, 4, 0, y0 + 11, 4, 4},
        {l + 4, b - 4, w - 8, 4, 4, y0 + 11, 39, 4},
        {rr - 4, b - 4, 4, 4, 43, y0 + 11, 4, 4},
    };
    for (const Piece& p : pieces)
        StretchBlt(dc, p.dx, p.dy, p.dw, p.dh, skin, p.sx, p.sy, p.sw, p.sh, SRCCOPY);
}

LRESULT DrawSkinnedButton(HWND dialog, WPARAM id, const DRAWITEMSTRUCT& item) {
    char text[kButtonTextRoom] = {};
    GetDlgItemTextA(dialog, static_cast<int>(id), text, kButtonTextRoom);
    HDC dc = item.hDC;
    const RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    {
        MemoryDC skin(CreateCompatibleDC(dc));
        SelectedObject bitmap(skin.Get(), g_skinBitmap.Get());
        SetStretchBltMode(dc, COLORONCOLOR);
        // Without a skin bitmap there is nothing to copy from.
        if (bitmap.ok()) DrawButtonPieces(dc, skin.Get(), r, pressed ? 15 : 0);

        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSkinColor(3));
        RECT textRect = r;
        if (pressed) {
            textRect.left += 2;
            textRect.top += 2;
        }
        DrawTextA(dc, text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    if (GetFocus() == item.hwndItem) {
        const int w = r.right - r.left, h = r.bottom - r.top;
        Pen pen(CreatePen(PS_SOLID, 0, RGB(0, 0, 0)));
        SelectedObject selected(dc, pen.Get());
        DrawDottedLine(dc, r.left + 2, r.top + 2, w - 3, false);
        DrawDottedLine(dc, r.right - 3, r.top + 2, h - 3, true);
        DrawDottedLine(dc, r.left + 2, r.top + 2, h - 3, true);
        DrawDottedLine(dc, r.left + 2, r.bottom - 3, w - 3, false);
    }
    return 0;
}

} // namespace

uint32_t DcPixelReader::GetPixel(int x, int y) const {
    return ::GetPixel(dc_, x, y);
}

void SampleSkinColors(HWND player) {
    g_skinBitmap.Reset();
    auto bitmap = reinterpret_cast<HBITMAP>(AskPlayer(player, 0));
    // Only a bitmap is ours to delete later; any other answer is no skin.
    if (!bitmap || GetObjectType(bitmap) != OBJ_BITMAP) return;
    g_skinBitmap.Reset(bitmap);

    MemoryDC dc(CreateCompatibleDC(nullptr));
    SelectedObject selected(dc.Get(), bitmap);
    if (!selected.ok()) return;
    SampleSkinColors(ProcessSkinColors(), DcPixelReader(dc.Get()));
}

HBITMAP SkinBitmap() {
    return g_skinBitmap.Get();
}

void ReleaseSkin() {
    g_skinBitmap.Reset();
    g_dialogBrush.Reset();
}

LRESULT HandleSkinnedDialogMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return ControlColor(msg, reinterpret_cast<HDC>(wParam));
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType == ODT_BUTTON) return DrawSkinnedButton(dialog, wParam, *item);
        return 0;
    }
    }
    return 0;
}

void DrawDottedLine(HDC dc, int x, int y, int length, bool vertical) {
    for (int i = y & 1; i < length - 1; i += 2) {
        if (vertical) {
            MoveToEx(dc, x, y + i, nullptr);
            LineTo(dc, x, y + i + 1);
        } else {
            MoveToEx(dc, x + i, y, nullptr);
            LineTo(dc, x + i + 1, y);
        }
    }
}

void DrawChildBorders(HWND window, HDC dc, const RECT& area, bool erase, const DWORD* entries,
                      int count) {
    Region background;
    if (erase) background.Reset(CreateRectRgnIndirect(&area));
    {
        Pen pen(CreatePen(PS_SOLID, 0, GetSkinColor(5)));
        SelectedObject selected(dc, pen.Get());
        for (int i = 0; i < count; ++i) {
            HWND item = GetDlgItem(window, LOWORD(entries[i]));
            if (!item) continue;
            RECT r;
            GetWindowRect(item, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            if (r.right < area.left || r.left > area.right || r.bottom < area.top ||
                r.top > area.bottom)
                continue;
            if (HIWORD(entries[i]) != kSunkenBorder) continue;
            MoveToEx(dc, r.left, r.bottom, nullptr);
            LineTo(dc, r.right, r.bottom);
            LineTo(dc, r.right, r.top - 1);
            if (background) {
                for (const RECT& line : {RECT{r.left, r.bottom, r.right, r.bottom + 1},
                                         RECT{r.right, r.top, r.right + 1, r.bottom}}) {
                    Region cut(CreateRectRgnIndirect(&line));
                    CombineRgn(background.Get(), background.Get(), cut.Get(), RGN_DIFF);
                }
            }
        }
    }
    if (background) {
        Brush brush(CreateSolidBrush(GetSkinColor(2)));
        FillRgn(dc, background.Get(), brush.Get());
    }
}

HFONT CreateSkinFont(HWND player) {
    char face[kFaceNameRoom] = {};
    if (const auto* text = reinterpret_cast<const char*>(AskPlayer(player, 1)))
        std::memcpy(face, text, strnlen(text, kFaceNameRoom - 1));
    const auto charset = static_cast<BYTE>(AskPlayer(player, 2));
    const int height =
        std::clamp(static_cast<int>(AskPlayer(player, 3)), -kMaxFontHeight, kMaxFontHeight);
    return CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DRAFT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}
