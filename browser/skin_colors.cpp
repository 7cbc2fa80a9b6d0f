#include "browser/skin_colors.h"

namespace {

constexpr uint32_t kUnsetMarker = 0xFFC600; // red 0, green 198, blue 255: "no colour here"
constexpr int kReferenceX = 111;
constexpr int kFirstColorX = 48;

constexpr uint32_t kFallback[kSkinColorCount] = {
    0x000000, 0x00FF00, 0x3C2424, 0x423839, 0xFFFFFF, 0xA59484, 0xC60000, 0x784848,
    0xFFFFFF, 0xB46C6C, 0x3C2424, 0x1E1212, 0x3C2424, 0x3C2424, 0x3C2424, 0x968279,
    0x6E584E, 0x3C2424, 0,        0,        0,        0, // 18 to 21 derive from entries sampled
                                                         // before them
};

} // namespace

SkinColors& ProcessSkinColors() {
    static SkinColors table;
    return table;
}

void SampleSkinColors(SkinColors& table, const PixelReader& skin) {
    uint32_t* c = table.colors;
    const uint32_t reference = skin.GetPixel(kReferenceX, 0);
    for (int i = 0; i < kSkinColorCount; ++i) {
        const uint32_t pixel = skin.GetPixel(kFirstColorX + 2 * i, 0);
        if (pixel != kInvalidColor && pixel != kUnsetMarker && pixel != reference) {
            c[i] = pixel;
            continue;
        }
        switch (i) {
        case 18:
        case 20:
            c[i] = c[4];
            break;
        case 19:
            c[i] = c[6];
            break;
        case 21:
            c[i] = ((c[2] / 2) & 0x7F7F7F) + ((c[6] / 2) & 0x7F7F7F);
            break;
        default:
            c[i] = kFallback[i];
        }
    }
}

uint32_t GetSkinColor(const SkinColors& table, int index) {
    return index >= 0 && index < kSkinColorCount ? table.colors[index] : 0;
}

uint32_t BlendHalf(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        out |= ((((a >> shift) & 0xFF) + ((b >> shift) & 0xFF)) >> 1) << shift;
    return out;
}
