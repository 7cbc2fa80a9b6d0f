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
