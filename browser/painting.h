// What the browser paints from the player's skin bitmap, as data and
// geometry: the source rectangles of every scroll-bar part in the four
// tables (horizontal or vertical bar, normal or pressed), the track colours,
// and where the eleven thumb pieces go on a thumb of any size.
#pragma once

#include <cstdint>
#include <vector>

struct SkinRect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const SkinRect&) const = default;
};

constexpr int kScrollTableEntries = 16;
constexpr int kFirstThumbPiece = 5, kGripPiece = 15;

// Entry `entry` of the table for `bar` (0 horizontal, 1 vertical), pressed or
// not. Entries 2 and 3 hold two skin-colour indices in x and y; entry 4 is
// unused (all -1).
const SkinRect& ScrollPartSource(int bar, bool pressed, int entry);

// A track half's colour: each channel the mean (rounded down) of the two
// skin colours' channels. Colours as 0x00BBGGRR.
uint32_t BlendColors(uint32_t a, uint32_t b);

struct ThumbPiece {
    SkinRect source;
    SkinRect dest;
};
// The thumb pieces for a thumb in (l, t, r, b), in drawing order; the grip
// only when the thumb has room for it, and never stretched.
std::vector<ThumbPiece> ThumbPieces(int bar, bool pressed, int l, int t, int r, int b);

// Where the list's cells lie during one paint, read from the list and its
// header once when the paint starts: the top visible row's place and height
// (rows follow it evenly in report view) and each column's edges and
// alignment, by sub-item, in the list's client coordinates.
struct CellLayout {
    struct Column {
        int left = 0, right = 0;
        bool rightAligned = false;
    };
    int topRow = 0;
    int topRowTop = 0, rowHeight = 0;
    std::vector<Column> columns;

    // The cell of `row` in column `subItem`; false above the top row, for an
    // unknown column or an empty cell.
    bool Cell(int row, int subItem, SkinRect& out) const;
    // The widest column by the row's height: room for any cell of the paint.
    SkinRect Largest() const;
};
