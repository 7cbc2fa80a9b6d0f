// The scroll-bar skinning layer's rules, portable: a bar's scroll
// information and when it is shown, where its arrows, track and thumb lie,
// which part a point hits, and what a press, the repeat timers, a thumb drag
// and the release send to the window. The Win32 shell (scrollskin_win.cpp)
// keeps one ScrollSkinBar per bar and turns these answers into messages.
#pragma once

#include <cstdint>
#include <vector>

// The platform's scroll-information masks and scroll codes.
constexpr unsigned kInfoRange = 1, kInfoPage = 2, kInfoPos = 4, kInfoKeepBar = 8,
                   kInfoTrackPos = 16;
enum ScrollCode : int {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5,
    kEndScroll = 8,
};

// Bar flags.
constexpr uint32_t kLowArrowDisabled = 1, kHighArrowDisabled = 2, kAlwaysShown = 4, kSwitchedOn = 8;

// Parts of a bar; the corner between two bars is painted as bar 3.
enum ScrollPart : int {
    kNoPart = -1,
    kLowArrow = 0,
    kHighArrow = 1,
    kLowTrack = 2,
    kHighTrack = 3,
    kThumb = 5,
};

struct ScrollInfoRecord {
    int32_t min = 0, max = 0, page = 0, pos = 0, trackPos = 0;
};

struct ScrollSkinBar {
    uint32_t flags = 0;
    int32_t shown = 0; // has room in the window and is drawn
    ScrollInfoRecord scrollInfo;
    int32_t arrowLength = -1; // negative: that many times the platform's metric
    int32_t thickness = -1;
    uint32_t barType = 0; // 0 horizontal, 1 vertical
    uint32_t style = 0;
    int32_t minThumbSize = 6;
};

// The platform's multiply-divide: a * b / c rounded half away from zero, -1
// when c is 0.
int32_t MulDiv32(int32_t a, int32_t b, int32_t c);

// Whether the range can scroll at all, and whether a press acts on the bar.
bool CanScroll(const ScrollSkinBar& bar);
bool IsActive(const ScrollSkinBar& bar);

// Scroll information. SetBarInfo answers the new position; `visibility`
// tells whether the bar was switched on or off by the call.
int32_t SetBarInfo(ScrollSkinBar& bar, unsigned mask, const ScrollInfoRecord& in, bool& visibility);
// Answers the old position.
int32_t SetBarPos(ScrollSkinBar& bar, int32_t pos);
// Ignored while the thumb is dragged; an empty range switches the bar off.
void SetBarRange(ScrollSkinBar& bar, int32_t min, int32_t max, bool dragging);
void EnableBarArrows(ScrollSkinBar& bar, uint32_t arrows);
// Copies the asked fields; false when nothing was asked.
bool GetBarInfo(const ScrollSkinBar& bar, unsigned mask, ScrollInfoRecord& out);

// One bar laid out along its length, from `low` to `high` (x for a
// horizontal bar, y for a vertical one).
struct BarLayout {
    int low = 0, high = 0;
    int arrow = 0;       // each arrow's length, halved on a short bar
    int track = 0;       // the length between the arrows
    int thumbStart = 0;  // where the thumb begins
    int thumbLength = 0; // 0: no thumb
};
BarLayout LayoutBar(const ScrollSkinBar& bar, int low, int high, int arrowLength);
// The part at `at` along the bar.
ScrollPart HitTestBar(const BarLayout& layout, int at);

// The drag area: the bar's rectangle grown by 48 pixels at both ends and 24
// on both sides. `along`/`across` are the pointer's coordinates; the bar's
// rectangle runs from low to high along and from side to side + thickness
// across.
bool InDragArea(const BarLayout& layout, int side, int thickness, int along, int across);
// The drag position of a thumb starting at `thumbStart`.
int32_t DragPosition(const ScrollSkinBar& bar, const BarLayout& layout, int thumbStart);

// What one pointer or timer event asks of the window.
struct ScrollEvents {
    std::vector<std::pair<int, int32_t>> sends; // scroll code, position
    unsigned startTimer = 0;                    // its id; 0 none
    unsigned startTimerMs = 0;
    unsigned stopTimer = 0;
    bool stopRepeat = false; // both press timers
    bool capture = false, release = false;
    bool repaint = false;
};

constexpr unsigned kFirstDelayTimer = 65533, kFirstDelayMs = 300;
constexpr unsigned kRepeatTimer = 65534, kRepeatMs = 55;
constexpr int kDragAlong = 48, kDragAcross = 24;

// The press, repeat, drag and release of one bar at a time.
class ScrollTracker {
  public:
    // A press at `along` on a bar laid out as `layout`.
    ScrollEvents Press(ScrollSkinBar& bar, const BarLayout& layout, int along);
    // The pointer moved; `inDragArea` as InDragArea answers for it.
    ScrollEvents Move(ScrollSkinBar& bar, const BarLayout& layout, int along, bool inDragArea);
    // Timer `id` fired with the pointer at `along` on the bar.
    ScrollEvents Timer(unsigned id, const BarLayout& layout, int along);
    // The button went up, or the window lost the pointer's capture (a menu,
    // a message box, another window): either ends the press or drag alike.
    ScrollEvents Release(ScrollSkinBar& bar);

    bool Tracking() const { return part_ != kNoPart; }
    bool Dragging() const { return part_ == kThumb; }
    ScrollPart PressedPart() const { return part_; }
    // The part drawn pressed now (the pointer is on it), or kNoPart.
    ScrollPart DrawnPressed() const { return drawnPressed_ ? part_ : kNoPart; }
    int ThumbStart() const { return thumbStart_; }

  private:
    ScrollPart part_ = kNoPart;
    bool drawnPressed_ = false;
    int dragStartThumb_ = 0, keptOffset_ = 0, thumbStart_ = 0;
    int32_t lastSent_ = 0;
    int32_t startPos_ = 0; // the position when the thumb was pressed
};
