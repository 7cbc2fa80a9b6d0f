#include "browser/skin_colors.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// A skin bitmap one row high with chosen pixels; black elsewhere.
struct FakeSkin : PixelReader {
    int width = 275;
    std::map<int, uint32_t> pixels;
    uint32_t GetPixel(int x, int y) const override {
        if (x < 0 || y != 0 || x >= width) return kInvalidColor;
        auto it = pixels.find(x);
        return it == pixels.end() ? 0 : it->second;
    }
    void Entry(int i, uint32_t c) { pixels[48 + 2 * i] = c; }
};

constexpr uint32_t kReference = 0x123456;

TEST(SkinColors, DefinedPixelsAreTakenAndUndefinedOnesFallBack) {
    FakeSkin skin;
    skin.pixels[111] = kReference;
    for (int i = 0; i < kSkinColorCount; ++i)
        skin.Entry(i, 0x010101u * (i + 1));
    skin.Entry(2, kReference);     // equals the reference pixel
    skin.Entry(6, 0xFFC600);       // the marker colour
    skin.Entry(13, kInvalidColor); // no pixel
    skin.Entry(18, kReference);
    skin.Entry(19, kReference);
    skin.Entry(21, 0xFFC600);
    SkinColors t;
    SampleSkinColors(t, skin);
    EXPECT_EQ(t.colors[0], 0x010101u);
    EXPECT_EQ(t.colors[2], 0x3C2424u);
    EXPECT_EQ(t.colors[6], 0xC60000u);
    EXPECT_EQ(t.colors[13], 0x3C2424u);
    EXPECT_EQ(t.colors[18], 0x050505u) << "entry 4";
    EXPECT_EQ(t.colors[19], 0xC60000u) << "entry 6";
    EXPECT_EQ(t.colors[20], 0x151515u);
    EXPECT_EQ(t.colors[21], 0x811212u) << "half entry 2 plus half entry 6";
    EXPECT_EQ(GetSkinColor(t, 22), 0u);
    EXPECT_EQ(GetSkinColor(t, -1), 0u);
}

TEST(SkinColors, TheBlendUsesThisPassAndNeverSpillsBetweenChannels) {
    FakeSkin skin;
    skin.pixels[111] = kReference;
    skin.Entry(2, 0xFEFEFE);
    skin.Entry(6, 0x030303);
    skin.Entry(21, kReference);
    SkinColors t;
    SampleSkinColors(t, skin);
    EXPECT_EQ(t.colors[21], 0x808080u);
    EXPECT_EQ(BlendHalf(0x968279, 0x6E584E), 0x826D63u);
    EXPECT_EQ(BlendHalf(0x0000FF, 0x0000FF), 0x0000FFu);

    skin.width = 40; // too narrow for any colour: the whole fallback table
    SampleSkinColors(t, skin);
    EXPECT_EQ(t.colors[1], 0x00FF00u);
    EXPECT_EQ(t.colors[16], 0x6E584Eu);
    EXPECT_EQ(t.colors[18], 0xFFFFFFu);
    EXPECT_EQ(t.colors[21], 0x811212u);
}

} // namespace
