#include "scrollskin/scroll_bar.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The position held inside the range: at least min, and no further than the
// last page's start.
int32_t ClampPos(const ScrollInfoRecord& s, int32_t pos) {
    const int64_t last = int64_t{s.max} - std::max(s.page, 1) + 1;
    int64_t p = std::max<int64_t>(pos, s.min);
    p = std::min<int64_t>(p, last);
    return static_cast<int32_t>(std::max<int64_t>(p, s.min));
}

// Switches the bar on or off by the visibility rule; true when it changed.
bool Follow(ScrollSkinBar& bar, bool keep) {
    const bool wasOn = (bar.flags & kSwitchedOn) != 0;
    const bool on = keep || (bar.flags & kAlwaysShown) || CanScroll(bar);
    bar.flags = on ? bar.flags | kSwitchedOn : bar.flags & ~kSwitchedOn;
    return on != wasOn;
}

int64_t Range(const ScrollInfoRecord& s) {
    return int64_t{s.max} - s.min + 1;
}

// The lowest and highest thumb starts.
int FirstThumbStart(const BarLayout& l) {
    return l.low + l.arrow;
}
int LastThumbStart(const BarLayout& l) {
    return l.high - l.arrow - l.thumbLength;
}

} // namespace

int32_t MulDiv32(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    const int64_t n = int64_t{a} * b;
    const int64_t half = std::llabs(c) / 2;
    const int64_t q = ((n < 0) != (c < 0)) ? -((std::llabs(n) + half) / std::llabs(c))
                                           : (std::llabs(n) + half) / std::llabs(c);
    return static_cast<int32_t>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

bool CanScroll(const ScrollSkinBar& bar) {
    const ScrollInfoRecord& s = bar.scrollInfo;
    return s.page <= s.max && s.max > s.min && !(s.page == 0 && s.max == 0);
}

bool IsActive(const ScrollSkinBar& bar) {
    const uint32_t both = kLowArrowDisabled | kHighArrowDisabled;
    return (bar.flags & both) != both && ((bar.flags & kAlwaysShown) || CanScroll(bar));
}

int32_t SetBarInfo(ScrollSkinBar& bar, unsigned mask, const ScrollInfoRecord& in,
                   bool& visibility) {
    ScrollInfoRecord& s = bar.scrollInfo;
    if (mask & kInfoRange) {
        s.min = in.min;
        s.max = in.max;
    }
    if (mask & kInfoPage)
        s.page = static_cast<int32_t>(std::min<int64_t>(std::max(in.page, 0), Range(s)));
    if (mask & kInfoPos) s.pos = ClampPos(s, in.pos);
    visibility = Follow(bar, (mask & kInfoKeepBar) != 0);
    return s.pos;
}

int32_t SetBarPos(ScrollSkinBar& bar, int32_t pos) {
    const int32_t old = bar.scrollInfo.pos;
    bar.scrollInfo.pos = ClampPos(bar.scrollInfo, pos);
    return old;
}

void SetBarRange(ScrollSkinBar& bar, int32_t min, int32_t max, bool dragging) {
    if (dragging) return;
    bar.scrollInfo.min = min;
    bar.scrollInfo.max = max;
    if (min == max)
        bar.flags &= ~kSwitchedOn;
    else
        Follow(bar, false);
}

void EnableBarArrows(ScrollSkinBar& bar, uint32_t arrows) {
    const uint32_t both = kLowArrowDisabled | kHighArrowDisabled;
    bar.flags = (bar.flags & ~both) | (arrows & both);
}

bool GetBarInfo(const ScrollSkinBar& bar, unsigned mask, ScrollInfoRecord& out) {
    const ScrollInfoRecord& s = bar.scrollInfo;
    if (mask & kInfoRange) {
        out.min = s.min;
        out.max = s.max;
    }
    if (mask & kInfoPage) out.page = s.page;
    if (mask & kInfoPos) out.pos = s.pos;
    if (mask & kInfoTrackPos) out.trackPos = s.trackPos;
    return (mask & (kInfoRange | kInfoPage | kInfoPos | kInfoTrackPos)) != 0;
}

BarLayout LayoutBar(const ScrollSkinBar& bar, int low, int high, int arrowLength) {
    BarLayout l;
    l.low = low;
    l.high = high;
    const int w = high - low;
    l.arrow = w <= 2 * arrowLength ? w / 2 : arrowLength;
    l.track = w - 2 * l.arrow;
    const ScrollInfoRecord& s = bar.scrollInfo;
    const int64_t range = Range(s);
    if (s.page == 0)
        l.thumbLength = l.arrow;
    else if (range < 1)
        l.thumbLength = 0;
    else
        l.thumbLength =
            std::max(MulDiv32(s.page, l.track, static_cast<int32_t>(range)), bar.minThumbSize);
    int64_t offset = 0;
    const int64_t span = range - std::max(s.page, 1);
    if (span > 0) offset = (int64_t{s.pos} - s.min) * (l.track - l.thumbLength) / span;
    offset = std::clamp<int64_t>(offset, 0, std::max(l.track - l.thumbLength, 0));
    l.thumbStart = low + l.arrow + static_cast<int>(offset);
    return l;
}

ScrollPart HitTestBar(const BarLayout& l, int at) {
    if (at < l.low || at >= l.high) return kNoPart;
    if (at < l.low + l.arrow) return kLowArrow;
    if (at >= l.high - l.arrow) return kHighArrow;
    if (l.thumbLength >= l.track) return kNoPart;
    if (at < l.thumbStart) return kLowTrack;
    if (at < l.thumbStart + l.thumbLength) return kThumb;
    return kHighTrack;
}

bool InDragArea(const BarLayout& l, int side, int thickness, int along, int across) {
    return along >= l.low - kDragAlong && along < l.high + kDragAlong &&
           across >= side - kDragAcross && across < side + thickness + kDragAcross;
}

int32_t DragPosition(const ScrollSkinBar& bar, const BarLayout& l, int thumbStart) {
    const ScrollInfoRecord& s = bar.scrollInfo;
    const int offset = thumbStart - FirstThumbStart(l);
    const int room = LastThumbStart(l) - FirstThumbStart(l);
    if (int64_t{s.max} - s.min < 1 || room <= 0) return offset;
    return static_cast<int32_t>(int64_t{offset} * (int64_t{s.max} - s.min - s.page + 1) / room);
}

ScrollEvents ScrollTracker::Press(ScrollSkinBar& bar, const BarLayout& layout, int along) {
    ScrollEvents e;
    const ScrollPart part = HitTestBar(layout, along);
    if (part == kNoPart) return e;
    if ((part == kLowArrow && (bar.flags & kLowArrowDisabled)) ||
        (part == kHighArrow && (bar.flags & kHighArrowDisabled)))
        return e;
    // An inactive bar takes nothing: a capture here would have no release
    // to end it.
    if (!IsActive(bar)) return e;
    e.capture = true;
    part_ = part;
    drawnPressed_ = true;
    e.repaint = true;
    if (part == kThumb) {
        dragStartThumb_ = thumbStart_ = layout.thumbStart;
        keptOffset_ = along - layout.thumbStart;
        bar.scrollInfo.trackPos = bar.scrollInfo.pos;
        lastSent_ = startPos_ = bar.scrollInfo.pos;
        return e;
    }
    e.sends.push_back({part, 0}); // the arrow and track parts are their own codes
    e.startTimer = kFirstDelayTimer;
    e.startTimerMs = kFirstDelayMs;
    return e;
}

ScrollEvents ScrollTracker::Move(ScrollSkinBar& bar, const BarLayout& layout, int along,
                                 bool inDragArea) {
    ScrollEvents e;
    if (part_ == kNoPart) return e;
    if (part_ != kThumb) {
        const bool on = HitTestBar(layout, along) == part_;
        e.repaint = on != drawnPressed_;
        drawnPressed_ = on;
        return e;
    }
    const int start = inDragArea
                          ? std::clamp(along - keptOffset_, FirstThumbStart(layout),
                                       std::max(LastThumbStart(layout), FirstThumbStart(layout)))
                          : dragStartThumb_;
    e.repaint = start != thumbStart_;
    thumbStart_ = start;
    // Back at the start, exactly: the pixel start rounds to a neighbouring row.
    const int32_t position = inDragArea ? DragPosition(bar, layout, start) : startPos_;
    if (position != lastSent_) {
        lastSent_ = position;
        bar.scrollInfo.trackPos = position;
        e.sends.push_back({kThumbTrack, position});
    }
    return e;
}

ScrollEvents ScrollTracker::Timer(unsigned id, const BarLayout& layout, int along) {
    ScrollEvents e;
    if (part_ == kNoPart || part_ == kThumb) return e;
    if (id == kFirstDelayTimer) {
        e.stopTimer = kFirstDelayTimer;
        e.startTimer = kRepeatTimer;
        e.startTimerMs = kRepeatMs;
        return e;
    }
    if (id != kRepeatTimer) return e;
    const bool on = HitTestBar(layout, along) == part_;
    e.repaint = on != drawnPressed_;
    drawnPressed_ = on;
    if (on) e.sends.push_back({part_, 0});
    return e;
}

ScrollEvents ScrollTracker::Release(ScrollSkinBar& bar) {
    ScrollEvents e;
    if (part_ == kNoPart) return e;
    e.release = true;
    e.repaint = true;
    if (part_ == kThumb) {
        e.sends.push_back({kThumbPosition, lastSent_});
        bar.scrollInfo.trackPos = lastSent_;
    } else {
        e.stopRepeat = true;
    }
    e.sends.push_back({kEndScroll, 0});
    part_ = kNoPart;
    drawnPressed_ = false;
    return e;
}
