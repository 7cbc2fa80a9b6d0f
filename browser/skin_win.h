// The skinned browser on Win32: the player's skin bitmap and the colours
// sampled from it, the control colours and owner-drawn buttons of the
// skinned dialog, the child borders of its background and the skin font.
#pragma once

#include <windows.h>

#include "browser/skin_colors.h"

// Reads pixels of a bitmap selected into a memory device context.
class DcPixelReader : public PixelReader {
  public:
    explicit DcPixelReader(HDC dc) : dc_(dc) {}
    uint32_t GetPixel(int x, int y) const override;

  private:
    HDC dc_; // not owned
};

// Asks the player for its skin bitmap (the one held before is deleted
// first) and samples the colour table from it. Without an answer the
// colours keep their values.
void SampleSkinColors(HWND player);

// The skin bitmap last handed out by the player, null when none.
HBITMAP SkinBitmap();

// Deletes the skin bitmap and the skinned-dialog brush.
void ReleaseSkin();

// Control colours and owner-drawn push buttons. Non-zero: handled, and the
// dialog's answer. Owner drawing answers 0 so the caller goes on.
LRESULT HandleSkinnedDialogMessage(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

// Every other pixel of a line with the current pen; the parity of the first
// one comes from y in both directions.
void DrawDottedLine(HDC dc, int x, int y, int length, bool vertical);

// The border kind that DrawChildBorders draws just below and right of a control.
constexpr DWORD kSunkenBorder = 1;
constexpr DWORD ChildBorder(int controlId, DWORD kind) {
    return (kind << 16) | static_cast<DWORD>(controlId & 0xFFFF);
}

// Paints `area` of the window's background in skin colour 2 (when `erase`)
// with the border lines of the listed controls (control id in the low word,
// kind in the high word), into the paint session's `dc`.
void DrawChildBorders(HWND window, HDC dc, const RECT& area, bool erase, const DWORD* entries,
                      int count);

// The player's skin font: face, character set and pixel height asked with
// IPC_GET_GENSKINBITMAP 1, 2 and 3. Null when it cannot be made.
HFONT CreateSkinFont(HWND player);
