// The skin's scroll-bar pieces: the tables, the track blend and where the
// thumb's pieces and grip go.
#include "browser/painting.h"

#include <gtest/gtest.h>

TEST(Painting, TablesBlendAndThumbPieces) {
    EXPECT_EQ(ScrollPartSource(0, false, 1), (SkinRect{14, 45, 14, 14}));
    EXPECT_EQ(ScrollPartSource(1, true, 0), (SkinRect{28, 31, 14, 14}));
    EXPECT_EQ(ScrollPartSource(0, true, 2), (SkinRect{15, 16, 0, 0})) << "pressed track colours";
    EXPECT_EQ(ScrollPartSource(1, false, 4), (SkinRect{-1, -1, -1, -1}));
    EXPECT_EQ(ScrollPartSource(1, true, 11), (SkinRect{81, 35, 3, 20}));
    EXPECT_EQ(BlendColors(0x00304050, 0x00506071), 0x00405060u);

    // A horizontal thumb 20 long (w - 8 = 12 > 8) shows its grip; 16 long does not.
    std::vector<ThumbPiece> p = ThumbPieces(0, false, 100, 0, 120, 14);
    ASSERT_EQ(p.size(), 11u);
    EXPECT_EQ(p[4].dest, (SkinRect{104, 4, 8, 7}));   // left half of the face
    EXPECT_EQ(p[5].dest, (SkinRect{111, 4, 6, 7}));   // right half
    EXPECT_EQ(p[6].dest, (SkinRect{104, 10, 12, 4})); // bottom edge, H11 = 4
    EXPECT_EQ(p[10].dest, (SkinRect{106, 4, 8, 6}));  // the grip, unstretched
    EXPECT_EQ(ThumbPieces(0, false, 100, 0, 116, 14).size(), 10u);
    // Vertical: the pressed grip is 7 x 9 and needs h - 8 > 9.
    p = ThumbPieces(1, true, 0, 50, 14, 68);
    ASSERT_EQ(p.size(), 11u);
    EXPECT_EQ(p[6].dest, (SkinRect{11, 54, 3, 10})); // right edge, W11 = 3
    EXPECT_EQ(p[10].dest, (SkinRect{4, 55, 7, 9}));
    EXPECT_EQ(ThumbPieces(1, true, 0, 50, 14, 67).size(), 10u);
}
