// One paint of the browser's list: what its cells need from the list and
// the header, read once when the paint starts, and one off-screen surface
// that every cell of the paint is drawn in before its one copy to the screen
// (a cell never flickers). The surface lives from the start of the list's
// WM_PAINT until it returns; a cell drawn outside one gets a surface of its
// own for just that cell.
#pragma once

#include <windows.h>

#include "base/owners_win.h"
#include "browser/painting.h"

// A memory device context with a bitmap and the row font selected.
class CellSurface {
  public:
    CellSurface() = default;
    ~CellSurface() { Release(); }
    CellSurface(const CellSurface&) = delete;
    CellSurface& operator=(const CellSurface&) = delete;

    // Room for a w x h cell, compatible with `like`; false when none could be made.
    bool Make(HDC like, int w, int h, HFONT font);
    bool Fits(int w, int h) const { return dc_ && w <= w_ && h <= h_; }
    HDC Dc() const { return dc_.Get(); }
    // Selects the old objects back and deletes the context and the bitmap.
    void Release();

  private:
    MemoryDC dc_;
    Bitmap bitmap_;
    HGDIOBJ oldBitmap_ = nullptr, oldFont_ = nullptr; // not owned
    int w_ = 0, h_ = 0;
};

class ListPaintPass {
  public:
    // The list's WM_PAINT, from before it paints until it has painted.
    class Scope {
      public:
        explicit Scope(ListPaintPass& pass) : pass_(pass) { pass_.painting_ = true; }
        ~Scope() {
            pass_.painting_ = false;
            pass_.surface_.Release();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        ListPaintPass& pass_;
    };

    // The pre-paint stage: reads the layout and, inside a Scope, makes the
    // surface for the largest cell.
    void Prepare(HWND list, HDC dc, HFONT font);
    // Paints the cell in the skin's colours; false leaves it to the list.
    bool PaintCell(HWND list, HDC dc, int row, int subItem);

  private:
    void BeginRow(HWND list, int row); // reads whether the row is selected

    bool painting_ = false;
    CellLayout layout_;
    HFONT font_ = nullptr; // not owned
    int row_ = -1;
    bool selected_ = false;
    CellSurface surface_;
};
