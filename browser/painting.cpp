#include "browser/painting.h"

namespace {

using Table = SkinRect[kScrollTableEntries];

// [bar][pressed]: the skin bitmap's scroll-bar pieces.
const Table kTables[2][2] = {
    {{{0, 45, 14, 14},
      {14, 45, 14, 14},
      {13, 14, 0, 0},
      {13, 14, 0, 0},
      {-1, -1, -1, -1},
      {84, 31, 4, 4},
      {84, 35, 4, 6},
      {84, 41, 4, 4},
      {88, 31, 20, 4},
      {88, 35, 5, 6},
      {103, 35, 5, 6},
      {88, 41, 20, 4},
      {108, 31, 4, 4},
      {108, 35, 4, 6},
      {108, 41, 4, 4},
      {94, 35, 8, 6}},
     {{28, 45, 14, 14},
      {42, 45, 14, 14},
      {15, 16, 0, 0},
      {15, 16, 0, 0},
      {-1, -1, -1, -1},
      {84, 45, 4, 4},
      {84, 49, 4, 6},
      {84, 55, 4, 4},
      {88, 45, 20, 4},
      {88, 49, 5, 6},
      {103, 49, 5, 6},
      {88, 56, 20, 3},
      {108, 45, 4, 4},
      {108, 49, 4, 6},
      {108, 55, 4, 4},
      {94, 49, 9, 7}}},
    {{{0, 31, 14, 14},
      {14, 31, 14, 14},
      {13, 14, 0, 0},
      {13, 14, 0, 0},
      {-1, -1, -1, -1},
      {56, 31, 4, 4},
      {60, 31, 6, 4},
      {66, 31, 4, 4},
      {56, 35, 4, 20},
      {60, 35, 6, 5},
      {60, 50, 6, 5},
      {66, 35, 4, 20},
      {56, 55, 4, 4},
      {60, 55, 6, 4},
      {66, 55, 4, 4},
      {60, 41, 6, 8}},
     {{28, 31, 14, 14},
      {42, 31, 14, 14},
      {15, 16, 0, 0},
      {15, 16, 0, 0},
      {-1, -1, -1, -1},
      {70, 31, 4, 4},
      {74, 31, 6, 4},
      {80, 31, 4, 4},
      {70, 35, 4, 20},
      {74, 35, 6, 5},
      {74, 50, 6, 5},
      {81, 35, 3, 20},
      {70, 55, 4, 4},
      {74, 55, 6, 4},
      {80, 55, 4, 4},
      {74, 41, 7, 9}}},
};

} // namespace

const SkinRect& ScrollPartSource(int bar, bool pressed, int entry) {
    return kTables[bar == 1 ? 1 : 0][pressed ? 1 : 0][entry & 15];
}

uint32_t BlendColors(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8)
        out |= ((((a >> shift) & 0xFF) + ((b >> shift) & 0xFF)) >> 1) << shift;
    return out;
}

std::vector<ThumbPiece> ThumbPieces(int bar, bool pressed, int l, int t, int r, int b) {
    const int w = r - l, h = b - t;
    auto src = [&](int entry) { return ScrollPartSource(bar, pressed, entry); };
    const SkinRect s11 = src(11), s15 = src(kGripPiece);
    std::vector<ThumbPiece> out;
    if (bar != 1) {
        const SkinRect dests[] = {{l, t, 4, 4},
                                  {l, t + 4, 4, h - 8},
                                  {l, b - 4, 4, 4},
                                  {l + 4, t, w - 8, 4},
                                  {l + 4, t + 4, (w - 8) / 2 + 2, h - 7},
                                  {r - (w - 8) / 2 - 3, t + 4, (w - 8) / 2, h - 7},
                                  {l + 4, b - s11.h, w - 8, s11.h},
                                  {r - 4, t, 4, 4},
                                  {r - 4, t + 4, 4, h - 8},
                                  {r - 4, b - 4, 4, 4}};
        for (int i = 0; i < 10; ++i)
            out.push_back({src(kFirstThumbPiece + i), dests[i]});
        if (w - 8 > s15.w) out.push_back({s15, {l + w / 2 - 4, t + 4, s15.w, s15.h}});
    } else {
        const SkinRect dests[] = {{l, t, 4, 4},
                                  {l + 4, t, w - 8, 4},
                                  {r - 4, t, 4, 4},
                                  {l, t + 4, 4, h - 8},
                                  {l + 4, t + 4, w - 7, (h - 8) / 2 + 2},
                                  {l + 4, b - (h - 8) / 2 - 4, w - 7, (h - 8) / 2},
                                  {r - s11.w, t + 4, s11.w, h - 8},
                                  {l, b - 4, 4, 4},
                                  {l + 4, b - 4, w - 8, 4},
                                  {r - 4, b - 4, 4, 4}};
        for (int i = 0; i < 10; ++i)
            out.push_back({src(kFirstThumbPiece + i), dests[i]});
        if (h - 8 > s15.h) out.push_back({s15, {l + 4, t + h / 2 - 4, s15.w, s15.h}});
    }
    return out;
}
