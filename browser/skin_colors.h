// The 22 colours of the browser, sampled from the player's general skin
// bitmap. Every colour the browser paints comes from this table by index.
#pragma once

#include <cstdint>

constexpr int kSkinColorCount = 22;
constexpr uint32_t kInvalidColor = 0xFFFFFFFF; // the platform's CLR_INVALID

// Reads one pixel of the skin bitmap as a 0x00BBGGRR colour, kInvalidColor
// where there is none (outside the bitmap).
class PixelReader {
  public:
    virtual ~PixelReader() = default;
    virtual uint32_t GetPixel(int x, int y) const = 0;
};

struct SkinColors {
    uint32_t colors[kSkinColorCount] = {}; // black until the first sampling
};

// The process-wide table that the painting reads.
SkinColors& ProcessSkinColors();

// Samples the colour pixels at (48 + 2i, 0). A pixel that is missing, is
// the marker colour 0xFFC600 or equals the reference pixel at (111, 0) is
// undefined, and its entry takes its fallback.
void SampleSkinColors(SkinColors& table, const PixelReader& skin);

// Entry `index`, black for an index outside 0..21.
uint32_t GetSkinColor(const SkinColors& table, int index);
inline uint32_t GetSkinColor(int index) {
    return GetSkinColor(ProcessSkinColors(), index);
}

// Each of red, green and blue halfway between a and b, rounded down.
uint32_t BlendHalf(uint32_t a, uint32_t b);
