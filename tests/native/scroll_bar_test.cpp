// The scroll-bar layer's rules: scroll information and visibility, the bar's
// geometry and hit-testing, and the press / repeat / drag / release machine.
#include "scrollskin/scroll_bar.h"

#include <gtest/gtest.h>

namespace {

ScrollSkinBar Bar(int32_t min, int32_t max, int32_t page, int32_t pos) {
    ScrollSkinBar b;
    bool changed = false;
    SetBarInfo(b, kInfoRange | kInfoPage | kInfoPos, {min, max, page, pos, 0}, changed);
    return b;
}

using Sends = std::vector<std::pair<int, int32_t>>;

} // namespace

TEST(ScrollBar, InformationIsClampedAndDecidesVisibility) {
    ScrollSkinBar b = Bar(0, 99, 10, 200);
    EXPECT_EQ(b.scrollInfo.pos, 90); // the last page's start
    EXPECT_TRUE(b.flags & kSwitchedOn);
    bool changed = false;
    EXPECT_EQ(SetBarInfo(b, kInfoPage | kInfoPos, {0, 0, 500, -5, 0}, changed), 0);
    EXPECT_EQ(b.scrollInfo.page, 100) << "page held to the range";
    EXPECT_TRUE(changed);
    EXPECT_FALSE(b.flags & kSwitchedOn) << "a page as long as the list needs no bar";
    SetBarInfo(b, kInfoKeepBar, {}, changed);
    EXPECT_TRUE(b.flags & kSwitchedOn);
    b.flags |= kAlwaysShown;
    SetBarInfo(b, 0, {}, changed);
    EXPECT_TRUE(b.flags & kSwitchedOn);
    EXPECT_FALSE(CanScroll(Bar(0, 0, 0, 0)));

    b = Bar(0, 99, 10, 50);
    EXPECT_EQ(SetBarPos(b, 95), 50);
    EXPECT_EQ(b.scrollInfo.pos, 90);
    SetBarRange(b, 0, 20, true);
    EXPECT_EQ(b.scrollInfo.max, 99) << "a range set while dragging is ignored";
    SetBarRange(b, 5, 5, false);
    EXPECT_FALSE(b.flags & kSwitchedOn);
    EnableBarArrows(b, 0xFF);
    EXPECT_EQ(b.flags & 0xF, kLowArrowDisabled | kHighArrowDisabled);
    EXPECT_FALSE(IsActive(b)) << "both arrows disabled";
    ScrollInfoRecord out{-1, -1, -1, -1, -1};
    EXPECT_TRUE(GetBarInfo(Bar(0, 99, 10, 7), kInfoPos, out));
    EXPECT_EQ(out.pos, 7);
    EXPECT_EQ(out.max, -1);
    EXPECT_FALSE(GetBarInfo(b, kInfoKeepBar, out));
}

TEST(ScrollBar, GeometryAndHitTesting) {
    EXPECT_EQ(MulDiv32(10, 172, 100), 17);
    EXPECT_EQ(MulDiv32(1, 3, 2), 2);
    EXPECT_EQ(MulDiv32(-1, 3, 2), -2);
    EXPECT_EQ(MulDiv32(1, 1, 0), -1);

    BarLayout l = LayoutBar(Bar(0, 99, 10, 90), 0, 200, 14);
    EXPECT_EQ(l.track, 172);
    EXPECT_EQ(l.thumbLength, 17);
    EXPECT_EQ(l.thumbStart, 14 + 155);
    EXPECT_EQ(LayoutBar(Bar(0, 99, 10, 0), 0, 200, 14).thumbStart, 14);
    EXPECT_EQ(HitTestBar(l, 0), kLowArrow);
    EXPECT_EQ(HitTestBar(l, 13), kLowArrow);
    EXPECT_EQ(HitTestBar(l, 168), kLowTrack);
    EXPECT_EQ(HitTestBar(l, 169), kThumb);
    EXPECT_EQ(HitTestBar(l, 185), kThumb);
    EXPECT_EQ(HitTestBar(l, 186), kHighArrow);
    EXPECT_EQ(HitTestBar(LayoutBar(Bar(0, 99, 10, 0), 0, 200, 14), 31), kHighTrack);
    EXPECT_EQ(HitTestBar(l, 200), kNoPart);

    // A very long list keeps the smallest thumb; a page of 0 an arrow-long one.
    EXPECT_EQ(LayoutBar(Bar(0, 99999, 1, 0), 0, 200, 14).thumbLength, 6);
    EXPECT_EQ(LayoutBar(Bar(0, 99, 0, 0), 0, 200, 14).thumbLength, 14);
    // A bar shorter than two arrows: two half-length arrows and nothing else.
    l = LayoutBar(Bar(0, 99, 10, 0), 0, 20, 14);
    EXPECT_EQ(l.arrow, 10);
    EXPECT_EQ(HitTestBar(l, 9), kLowArrow);
    EXPECT_EQ(HitTestBar(l, 10), kHighArrow);

    // The drag area: 48 beyond the ends, 24 beside the sides (bar 14 thick at y 100).
    l = LayoutBar(Bar(0, 99, 10, 0), 0, 200, 14);
    EXPECT_TRUE(InDragArea(l, 100, 14, -48, 76));
    EXPECT_FALSE(InDragArea(l, 100, 14, -49, 100));
    EXPECT_TRUE(InDragArea(l, 100, 14, 247, 137));
    EXPECT_FALSE(InDragArea(l, 100, 14, 248, 100));
    EXPECT_FALSE(InDragArea(l, 100, 14, 50, 138));
}

TEST(ScrollTracker, ArrowPressRepeatsWhileThePointerStaysOnIt) {
    ScrollSkinBar b = Bar(0, 99, 10, 0);
    const BarLayout l = LayoutBar(b, 0, 200, 14);
    ScrollTracker t;
    ScrollEvents e = t.Press(b, l, 190);
    EXPECT_EQ(e.sends, (Sends{{kLineDown, 0}})) << "at once";
    EXPECT_TRUE(e.capture);
    EXPECT_EQ(e.startTimer, kFirstDelayTimer);
    EXPECT_EQ(e.startTimerMs, 300u);
    e = t.Timer(kFirstDelayTimer, l, 190);
    EXPECT_TRUE(e.sends.empty());
    EXPECT_EQ(e.stopTimer, kFirstDelayTimer);
    EXPECT_EQ(e.startTimer, kRepeatTimer);
    EXPECT_EQ(e.startTimerMs, 55u);
    EXPECT_EQ(t.Timer(kRepeatTimer, l, 190).sends, (Sends{{kLineDown, 0}}));
    e = t.Move(b, l, 100, true); // off the arrow: drawn normal, no repeat
    EXPECT_TRUE(e.repaint);
    EXPECT_EQ(t.DrawnPressed(), kNoPart);
    EXPECT_TRUE(t.Timer(kRepeatTimer, l, 100).sends.empty());
    EXPECT_EQ(t.Timer(kRepeatTimer, l, 195).sends, (Sends{{kLineDown, 0}})) << "back on it";
    e = t.Release(b);
    EXPECT_EQ(e.sends, (Sends{{kEndScroll, 0}}));
    EXPECT_TRUE(e.release && e.stopRepeat);
    EXPECT_FALSE(t.Tracking());

    // A page press sends its code; a disabled arrow or an idle bar sends nothing.
    EXPECT_EQ(t.Press(b, l, 100).sends, (Sends{{kPageDown, 0}}));
    t.Release(b);
    EnableBarArrows(b, kHighArrowDisabled);
    EXPECT_FALSE(t.Press(b, l, 190).capture);
    ScrollSkinBar idle = Bar(0, 5, 10, 0);
    e = t.Press(idle, LayoutBar(idle, 0, 200, 14), 190);
    EXPECT_TRUE(!e.capture && e.sends.empty() && !t.Tracking());
}

TEST(ScrollTracker, ThumbDragTracksThenReturnsOutsideTheDragArea) {
    ScrollSkinBar b = Bar(0, 99, 10, 0);
    const BarLayout l = LayoutBar(b, 0, 200, 14); // thumb 17 long at 14, room 155
    ScrollTracker t;
    EXPECT_TRUE(t.Press(b, l, 20).sends.empty());
    EXPECT_TRUE(t.Dragging());
    ScrollEvents e = t.Move(b, l, 20 + 62, true);
    EXPECT_EQ(t.ThumbStart(), 14 + 62);
    EXPECT_EQ(e.sends, (Sends{{kThumbTrack, 62 * 90 / 155}}));
    EXPECT_EQ(b.scrollInfo.trackPos, 36);
    EXPECT_EQ(t.Move(b, l, 500, true).sends, (Sends{{kThumbTrack, 90}})) << "held at the end";
    e = t.Move(b, l, 500, false);
    EXPECT_EQ(t.ThumbStart(), 14) << "outside the area the thumb returns";
    EXPECT_EQ(e.sends, (Sends{{kThumbTrack, 0}}));
    t.Move(b, l, 20 + 31, true);
    e = t.Release(b);
    EXPECT_EQ(e.sends, (Sends{{kThumbPosition, 18}, {kEndScroll, 0}}));
    EXPECT_FALSE(t.Dragging());

    // Released outside: the press's position, not the thumb pixels' 36.
    b = Bar(0, 99, 10, 37);
    const BarLayout at37 = LayoutBar(b, 0, 200, 14);
    ASSERT_EQ(DragPosition(b, at37, at37.thumbStart), 36);
    t.Press(b, at37, at37.thumbStart + 2);
    t.Move(b, at37, 150, true);
    EXPECT_EQ(t.Move(b, at37, 500, false).sends, (Sends{{kThumbTrack, 37}}));
    EXPECT_EQ(t.Release(b).sends, (Sends{{kThumbPosition, 37}, {kEndScroll, 0}}));
}
