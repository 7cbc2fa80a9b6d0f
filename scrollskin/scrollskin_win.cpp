#include "scrollskin/scrollskin_win.h"

#include <algorithm>
#include <iterator>
#include <new>

#include "base/window_objects_win.h"
#include "scrollskin/redirect_win.h"

namespace {

constexpr int kDefaultMinThumb = 6;

// ---- The platform's functions and their replacements ------------------------

using EnableFn = BOOL(WINAPI*)(HWND, UINT, UINT);
using GetInfoFn = BOOL(WINAPI*)(HWND, int, LPSCROLLINFO);
using GetPosFn = int(WINAPI*)(HWND, int);
using GetRangeFn = BOOL(WINAPI*)(HWND, int, LPINT, LPINT);
using SetInfoFn = int(WINAPI*)(HWND, int, LPCSCROLLINFO, BOOL);
using SetPosFn = int(WINAPI*)(HWND, int, int, BOOL);
using SetRangeFn = BOOL(WINAPI*)(HWND, int, int, int, BOOL);
using ShowFn = BOOL(WINAPI*)(HWND, int, BOOL);

BOOL WINAPI SkinEnableScrollBar(HWND, UINT, UINT);
BOOL WINAPI SkinGetScrollInfo(HWND, int, LPSCROLLINFO);
int WINAPI SkinGetScrollPos(HWND, int);
BOOL WINAPI SkinGetScrollRange(HWND, int, LPINT, LPINT);
int WINAPI SkinSetScrollInfo(HWND, int, LPCSCROLLINFO, BOOL);
int WINAPI SkinSetScrollPos(HWND, int, int, BOOL);
BOOL WINAPI SkinSetScrollRange(HWND, int, int, int, BOOL);
BOOL WINAPI SkinShowScrollBar(HWND, int, BOOL);

enum Slot { kEnable, kGetInfo, kGetPos, kGetRange, kSetInfo, kSetPos, kSetRange, kShow };
Redirection g_functions[] = {
    {"EnableScrollBar", reinterpret_cast<void*>(&SkinEnableScrollBar), nullptr},
    {"GetScrollInfo", reinterpret_cast<void*>(&SkinGetScrollInfo), nullptr},
    {"GetScrollPos", reinterpret_cast<void*>(&SkinGetScrollPos), nullptr},
    {"GetScrollRange", reinterpret_cast<void*>(&SkinGetScrollRange), nullptr},
    {"SetScrollInfo", reinterpret_cast<void*>(&SkinSetScrollInfo), nullptr},
    {"SetScrollPos", reinterpret_cast<void*>(&SkinSetScrollPos), nullptr},
    {"SetScrollRange", reinterpret_cast<void*>(&SkinSetScrollRange), nullptr},
    {"ShowScrollBar", reinterpret_cast<void*>(&SkinShowScrollBar), nullptr},
};
bool g_installed = false;

// The platform's own function of a slot, also before and after the redirection.
template <class F> F Original(Slot slot) {
    if (!g_functions[slot].original)
        g_functions[slot].original = reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("user32.dll"), g_functions[slot].name));
    return reinterpret_cast<F>(g_functions[slot].original);
}

// The windows with the layer, as their property holds them: the redirected
// functions look here on any thread.
WindowObjects<ScrollSkinWindow>& Attached() {
    static WindowObjects<ScrollSkinWindow> windows;
    return windows;
}

ScrollSkinWindow* Find(HWND w) {
    return Attached().Find(w);
}

// ---- Geometry in window coordinates -----------------------------------------

int Metric(int n, int index) {
    return n < 0 ? -n * GetSystemMetrics(index) : n;
}
int ArrowLength(const ScrollSkinBar& b) {
    return Metric(b.arrowLength, b.barType ? SM_CYVSCROLL : SM_CXHSCROLL);
}
int Thickness(const ScrollSkinBar& b) {
    return Metric(b.thickness, b.barType ? SM_CXVSCROLL : SM_CYHSCROLL);
}

struct Frame {
    RECT bar[2] = {}; // empty when the bar is not shown
    RECT corner = {};
};

Frame FrameOf(HWND w, const ScrollSkinWindow& s) {
    RECT wr{};
    GetWindowRect(w, &wr);
    const RECT inner{s.borders[0], s.borders[2], wr.right - wr.left - s.borders[1],
                     wr.bottom - wr.top - s.borders[3]};
    const bool h = s.bars[0].shown, v = s.bars[1].shown;
    const int th = Thickness(s.bars[0]), tv = Thickness(s.bars[1]);
    Frame f;
    const int vLeft = s.leftScrollBar ? inner.left : inner.right - tv;
    const int hBottom = h ? inner.bottom - th : inner.bottom;
    if (v) f.bar[1] = {vLeft, inner.top, vLeft + tv, hBottom};
    if (h)
        f.bar[0] = {s.leftScrollBar && v ? inner.left + tv : inner.left, hBottom,
                    !s.leftScrollBar && v ? inner.right - tv : inner.right, inner.bottom};
    if (h && v) f.corner = {vLeft, hBottom, vLeft + tv, inner.bottom};
    return f;
}

BarLayout LayoutOf(const ScrollSkinBar& b, const RECT& r) {
    return b.barType ? LayoutBar(b, r.top, r.bottom, ArrowLength(b))
                     : LayoutBar(b, r.left, r.right, ArrowLength(b));
}

POINT WindowPoint(HWND w, POINT screen) {
    RECT wr{};
    GetWindowRect(w, &wr);
    return {screen.x - wr.left, screen.y - wr.top};
}

void RecalculateFrame(HWND w) {
    SetWindowPos(w, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// ---- Process-wide pointer state ---------------------------------------------

struct Tracking {
    HWND window = nullptr;
    int bar = -1;
    ScrollTracker tracker;
    HWND hotWindow = nullptr;
    int hotBar = -1;
    int hotPart = kNoPart;
} g_track;

// ---- Painting ---------------------------------------------------------------

int PartState(HWND w, const ScrollSkinBar& b, int bar, int part) {
    if (g_track.window == w && g_track.bar == bar && g_track.tracker.DrawnPressed() == part)
        return kPartPressed;
    if (g_track.hotWindow == w && g_track.hotBar == bar && g_track.hotPart == part) return kPartHot;
    if ((part == kLowArrow && (b.flags & kLowArrowDisabled)) ||
        (part == kHighArrow && (b.flags & kHighArrowDisabled)) || !CanScroll(b))
        return kPartDisabled;
    return kPartNormal;
}

LRESULT Notify(HWND w, ScrollSkinDraw& n) {
    n.hdr.hwndFrom = w;
    n.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(w));
    n.hdr.code = kScrollSkinDrawCode;
    HWND parent = GetParent(w);
    return parent ? SendMessageA(parent, WM_NOTIFY, n.hdr.idFrom, reinterpret_cast<LPARAM>(&n)) : 0;
}

// The layer's own look, for a parent that does not paint the parts.
void DrawPlainPart(HDC dc, const RECT& r, int part, int state, int bar) {
    if (part == kLowArrow || part == kHighArrow) {
        const UINT kind = bar ? (part == kLowArrow ? DFCS_SCROLLUP : DFCS_SCROLLDOWN)
                              : (part == kLowArrow ? DFCS_SCROLLLEFT : DFCS_SCROLLRIGHT);
        RECT copy = r;
        DrawFrameControl(dc, &copy, DFC_SCROLL,
                         kind | (state == kPartPressed ? DFCS_PUSHED : 0) |
                             (state == kPartDisabled ? DFCS_INACTIVE : 0));
    } else if (part == kThumb) {
        RECT copy = r;
        FillRect(dc, &copy, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &copy, EDGE_RAISED, BF_RECT);
    } else {
        FillRect(dc, &r, GetSysColorBrush(COLOR_SCROLLBAR));
    }
}

void PaintBar(HWND w, HDC dc, const ScrollSkinWindow& s, int bar, const RECT& r) {
    const ScrollSkinBar& b = s.bars[bar];
    BarLayout l = LayoutOf(b, r);
    if (g_track.window == w && g_track.bar == bar && g_track.tracker.Dragging())
        l.thumbStart = g_track.tracker.ThumbStart();
    ScrollSkinDraw n{};
    n.stage = CDDS_PREPAINT;
    n.dc = dc;
    n.rect = r;
    n.bar = bar;
    n.part = kNoPart;
    const bool custom = Notify(w, n) == CDRF_SKIPDEFAULT;
    // Along the bar: the two arrows, then the track around the thumb; a bar
    // with no room for its thumb is arrows and track only.
    const bool thumb = l.thumbLength > 0 && l.thumbLength < l.track;
    const int trackLow = l.low + l.arrow, trackHigh = l.high - l.arrow;
    const struct {
        int part, from, to;
    } parts[] = {{kLowArrow, l.low, trackLow},
                 {kHighArrow, trackHigh, l.high},
                 {kLowTrack, trackLow, thumb ? l.thumbStart : trackHigh},
                 {kThumb, l.thumbStart, thumb ? l.thumbStart + l.thumbLength : l.thumbStart},
                 {kHighTrack, thumb ? l.thumbStart + l.thumbLength : trackHigh, trackHigh}};
    for (const auto& p : parts) {
        if (p.to <= p.from) continue;
        RECT pr = r;
        (bar ? pr.top : pr.left) = p.from;
        (bar ? pr.bottom : pr.right) = p.to;
        const int state = PartState(w, b, bar, p.part);
        if (custom) {
            n.stage = CDDS_ITEMPREPAINT;
            n.rect = pr;
            n.part = p.part;
            n.state = state;
            Notify(w, n);
        } else {
            DrawPlainPart(dc, pr, p.part, state, bar);
        }
    }
    n.stage = CDDS_POSTPAINT;
    n.rect = r;
    n.part = kNoPart;
    Notify(w, n);
}

// Paints the shown bars; with `corner` also the square between them.
void PaintBars(HWND w, const ScrollSkinWindow& s, bool corner) {
    const WindowDc whole = WindowDc::Whole(w);
    HDC dc = whole.Get();
    if (!dc) return;
    const Frame f = FrameOf(w, s);
    for (int bar = 0; bar < 2; ++bar)
        if (s.bars[bar].shown) PaintBar(w, dc, s, bar, f.bar[bar]);
    if (corner && s.bars[0].shown && s.bars[1].shown) {
        ScrollSkinDraw n{};
        n.stage = CDDS_PREPAINT;
        n.dc = dc;
        n.rect = f.corner;
        n.bar = kCornerBar;
        n.part = kNoPart;
        if (Notify(w, n) == CDRF_SKIPDEFAULT) {
            n.stage = CDDS_ITEMPREPAINT;
            n.state = kPartNormal;
            Notify(w, n);
        } else {
            FillRect(dc, &f.corner, GetSysColorBrush(COLOR_BTNFACE));
        }
    }
}

// ---- Pointer -----------------------------------------------------------------

void Apply(HWND w, ScrollSkinWindow& s, int bar, const ScrollEvents& e) {
    if (e.capture) SetCapture(w);
    s.dragging = g_track.tracker.Dragging() ? 1 : 0;
    for (const auto& [code, position] : e.sends)
        SendMessageA(w, bar ? WM_VSCROLL : WM_HSCROLL,
                     MAKEWPARAM(code, static_cast<WORD>(position)), 0);
    if (e.stopTimer) KillTimer(w, e.stopTimer);
    if (e.stopRepeat) {
        KillTimer(w, kFirstDelayTimer);
        KillTimer(w, kRepeatTimer);
    }
    if (e.startTimer) SetTimer(w, e.startTimer, e.startTimerMs, nullptr);
    if (e.release) {
        // Not when the capture went elsewhere already: it is a menu's or a box's now.
        if (GetCapture() == w) ReleaseCapture();
        g_track.window = nullptr;
        g_track.bar = -1;
    }
    if (e.repaint && IsWindow(w)) PaintBars(w, s, false);
}

// The pointer's place along and across a bar.
void AlongAcross(const ScrollSkinWindow& s, int bar, POINT p, int& along, int& across) {
    along = s.bars[bar].barType ? p.y : p.x;
    across = s.bars[bar].barType ? p.x : p.y;
}

bool Press(HWND w, ScrollSkinWindow& s, WPARAM hit, POINT screen) {
    const int bar = hit == HTVSCROLL ? 1 : hit == HTHSCROLL ? 0 : -1;
    if (bar < 0) return false;
    const Frame f = FrameOf(w, s);
    int along = 0, across = 0;
    AlongAcross(s, bar, WindowPoint(w, screen), along, across);
    g_track.window = w;
    g_track.bar = bar;
    const ScrollEvents e =
        g_track.tracker.Press(s.bars[bar], LayoutOf(s.bars[bar], f.bar[bar]), along);
    if (!g_track.tracker.Tracking()) {
        g_track.window = nullptr;
        g_track.bar = -1;
    }
    Apply(w, s, bar, e);
    return true;
}

// The pointer's current place in window coordinates.
POINT PointerInWindow(HWND w) {
    POINT p{};
    GetCursorPos(&p);
    return WindowPoint(w, p);
}

void MoveTracked(HWND w, ScrollSkinWindow& s, POINT p) {
    const int bar = g_track.bar;
    const Frame f = FrameOf(w, s);
    const BarLayout l = LayoutOf(s.bars[bar], f.bar[bar]);
    int along = 0, across = 0;
    AlongAcross(s, bar, p, along, across);
    const RECT& r = f.bar[bar];
    const bool inside = InDragArea(l, bar ? r.left : r.top, Thickness(s.bars[bar]), along, across);
    Apply(w, s, bar, g_track.tracker.Move(s.bars[bar], l, along, inside));
}

void OnTimer(HWND w, ScrollSkinWindow& s, UINT_PTR id) {
    const POINT p = PointerInWindow(w);
    if (id == kHotTrackTimer) {
        if (s.dragging || g_track.hotWindow != w || g_track.hotBar < 0) return;
        const Frame f = FrameOf(w, s);
        const RECT& r = f.bar[g_track.hotBar];
        if (!PtInRect(&r, p)) {
            KillTimer(w, kHotTrackTimer);
            g_track.hotWindow = nullptr;
            g_track.hotBar = -1;
            g_track.hotPart = kNoPart;
            PaintBars(w, s, false);
            return;
        }
        int along = 0, across = 0;
        AlongAcross(s, g_track.hotBar, p, along, across);
        const int part = HitTestBar(LayoutOf(s.bars[g_track.hotBar], r), along);
        if (part != g_track.hotPart) {
            g_track.hotPart = part;
            PaintBars(w, s, false);
        }
        return;
    }
    // A press timer that outlived its press (ended while it was being started).
    if (g_track.window != w || g_track.bar < 0) {
        KillTimer(w, id);
        return;
    }
    const Frame f = FrameOf(w, s);
    int along = 0, across = 0;
    AlongAcross(s, g_track.bar, p, along, across);
    Apply(w, s, g_track.bar,
          g_track.tracker.Timer(static_cast<unsigned>(id),
                                LayoutOf(s.bars[g_track.bar], f.bar[g_track.bar]), along));
}

// ---- The window procedure ----------------------------------------------------

// Runs the window's own procedure with the standard scroll-bar styles hidden,
// so that it neither reserves nor draws room for bars the layer owns.
LRESULT WithoutBarStyles(HWND w, ScrollSkinWindow& s, UINT msg, WPARAM wp, LPARAM lp) {
    const LONG style = GetWindowLongA(w, GWL_STYLE);
    s.inStyleChange = 1;
    SetWindowLongA(w, GWL_STYLE, style & ~(WS_HSCROLL | WS_VSCROLL));
    const LRESULT r = CallWindowProcA(s.previousProc, w, msg, wp, lp);
    SetWindowLongA(w, GWL_STYLE, style);
    s.inStyleChange = 0;
    return r;
}

LRESULT OnCalcSize(HWND w, ScrollSkinWindow& s, WPARAM wp, LPARAM lp) {
    RECT* client =
        wp ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lp)->rgrc[0] : reinterpret_cast<RECT*>(lp);
    const RECT outer = *client;
    const LRESULT r = WithoutBarStyles(w, s, WM_NCCALCSIZE, wp, lp);
    s.borders[0] = client->left - outer.left;
    s.borders[1] = outer.right - client->right;
    s.borders[2] = client->top - outer.top;
    s.borders[3] = outer.bottom - client->bottom;
    ScrollSkinBar& h = s.bars[0];
    ScrollSkinBar& v = s.bars[1];
    h.shown = (h.flags & kSwitchedOn) && client->bottom - client->top > Thickness(h);
    if (h.shown) client->bottom -= Thickness(h);
    v.shown = (v.flags & kSwitchedOn) && client->right - client->left >= Thickness(v);
    if (v.shown) (s.leftScrollBar ? client->left += Thickness(v) : client->right -= Thickness(v));
    return r;
}

LRESULT CALLBACK SkinProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    ScrollSkinWindow* found = Find(w);
    if (!found) return DefWindowProcA(w, msg, wp, lp);
    ScrollSkinWindow& s = *found;
    const WNDPROC previous = s.previousProc;
    const POINT screen{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    switch (msg) {
    case WM_NCCALCSIZE:
        return OnCalcSize(w, s, wp, lp);
    case WM_NCHITTEST: {
        const Frame f = FrameOf(w, s);
        const POINT p = WindowPoint(w, screen);
        if (s.bars[0].shown && PtInRect(&f.bar[0], p)) return HTHSCROLL;
        if (s.bars[1].shown && PtInRect(&f.bar[1], p)) return HTVSCROLL;
        break;
    }
    case WM_NCPAINT: {
        PaintBars(w, s, false);
        const LRESULT r = WithoutBarStyles(w, s, msg, wp, lp);
        PaintBars(w, s, true);
        return r;
    }
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        if (Press(w, s, wp, screen)) return 0;
        break;
    case WM_NCMOUSEMOVE:
        if ((wp == HTHSCROLL || wp == HTVSCROLL) &&
            !(g_track.hotWindow == w && g_track.hotBar == (wp == HTVSCROLL ? 1 : 0))) {
            g_track.hotWindow = w;
            g_track.hotBar = wp == HTVSCROLL ? 1 : 0;
            g_track.hotPart = kNoPart;
            SetTimer(w, kHotTrackTimer, kHotTrackMs, nullptr);
            PaintBars(w, s, false);
        }
        break;
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONUP:
        if (wp == HTHSCROLL || wp == HTVSCROLL) return 0;
        break;
    case WM_MOUSEMOVE:
        if (g_track.window == w && g_track.bar >= 0) {
            POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            ClientToScreen(w, &p);
            MoveTracked(w, s, WindowPoint(w, p));
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (g_track.window == w && g_track.bar >= 0) {
            Apply(w, s, g_track.bar, g_track.tracker.Release(s.bars[g_track.bar]));
            return 0;
        }
        break;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        // A menu, a message box or another window took the pointer: without
        // the capture no release would come, and plain moves would drag.
        if (g_track.window == w && g_track.bar >= 0 && g_track.tracker.Tracking() &&
            !(msg == WM_CAPTURECHANGED && reinterpret_cast<HWND>(lp) == w))
            Apply(w, s, g_track.bar, g_track.tracker.Release(s.bars[g_track.bar]));
        break;
    case WM_TIMER:
        if (wp == kFirstDelayTimer || wp == kRepeatTimer || wp == kHotTrackTimer) {
            OnTimer(w, s, wp);
            return 0;
        }
        break;
    case WM_STYLECHANGED:
        if (s.inStyleChange) return 0;
        if (wp == static_cast<WPARAM>(GWL_STYLE)) {
            const DWORD style = reinterpret_cast<const STYLESTRUCT*>(lp)->styleNew;
            for (int bar = 0; bar < 2; ++bar) {
                const bool on = style & (bar ? WS_VSCROLL : WS_HSCROLL);
                s.bars[bar].flags =
                    on ? s.bars[bar].flags | kSwitchedOn : s.bars[bar].flags & ~kSwitchedOn;
            }
        }
        break;
    case WM_NCDESTROY:
        ScrollSkinDetach(w);
        return CallWindowProcA(previous, w, msg, wp, lp);
    }
    return CallWindowProcA(previous, w, msg, wp, lp);
}

// ---- The layer's versions of the eight functions -----------------------------

ScrollSkinBar* BarOf(HWND w, int bar) {
    ScrollSkinWindow* s = Find(w);
    return s && (bar == SB_HORZ || bar == SB_VERT) ? &s->bars[bar] : nullptr;
}

void Redraw(HWND w, bool visibility) {
    ScrollSkinWindow* s = Find(w);
    if (!s || s->dragging) return;
    if (visibility)
        RecalculateFrame(w);
    else
        PaintBars(w, *s, false);
}

BOOL WINAPI SkinEnableScrollBar(HWND w, UINT bars, UINT arrows) {
    ScrollSkinWindow* s = Find(w);
    if (!s || bars == SB_CTL) return Original<EnableFn>(kEnable)(w, bars, arrows);
    for (int bar = 0; bar < 2; ++bar)
        if (bars == SB_BOTH || static_cast<int>(bars) == bar) EnableBarArrows(s->bars[bar], arrows);
    PaintBars(w, *s, false);
    return TRUE;
}

BOOL WINAPI SkinGetScrollInfo(HWND w, int bar, LPSCROLLINFO info) {
    ScrollSkinBar* b = BarOf(w, bar);
    if (!b || !info) return Original<GetInfoFn>(kGetInfo)(w, bar, info);
    ScrollInfoRecord r{info->nMin, info->nMax, static_cast<int32_t>(info->nPage), info->nPos,
                       info->nTrackPos};
    const bool asked = GetBarInfo(*b, info->fMask, r);
    info->nMin = r.min;
    info->nMax = r.max;
    info->nPage = static_cast<UINT>(r.page);
    info->nPos = r.pos;
    info->nTrackPos = r.trackPos;
    return asked;
}

int WINAPI SkinGetScrollPos(HWND w, int bar) {
    ScrollSkinBar* b = BarOf(w, bar);
    return b ? b->scrollInfo.pos : Original<GetPosFn>(kGetPos)(w, bar);
}

BOOL WINAPI SkinGetScrollRange(HWND w, int bar, LPINT min, LPINT max) {
    ScrollSkinBar* b = BarOf(w, bar);
    if (!b) return Original<GetRangeFn>(kGetRange)(w, bar, min, max);
    if (min) *min = b->scrollInfo.min;
    if (max) *max = b->scrollInfo.max;
    return TRUE;
}

int WINAPI SkinSetScrollInfo(HWND w, int bar, LPCSCROLLINFO info, BOOL redraw) {
    ScrollSkinBar* b = BarOf(w, bar);
    if (!b || !info) return Original<SetInfoFn>(kSetInfo)(w, bar, info, redraw);
    bool visibility = false;
    const int32_t pos = SetBarInfo(*b, info->fMask,
                                   {info->nMin, info->nMax,
                                    static_cast<int32_t>(std::min<UINT>(info->nPage, INT32_MAX)),
                                    info->nPos, info->nTrackPos},
                                   visibility);
    if (redraw || visibility) Redraw(w, visibility);
    return pos;
}

int WINAPI SkinSetScrollPos(HWND w, int bar, int pos, BOOL redraw) {
    ScrollSkinBar* b = BarOf(w, bar);
    if (!b) return Original<SetPosFn>(kSetPos)(w, bar, pos, redraw);
    const int old = SetBarPos(*b, pos);
    if (redraw) Redraw(w, false);
    return old;
}

BOOL WINAPI SkinSetScrollRange(HWND w, int bar, int min, int max, BOOL redraw) {
    ScrollSkinBar* b = BarOf(w, bar);
    if (!b) return Original<SetRangeFn>(kSetRange)(w, bar, min, max, redraw);
    const uint32_t before = b->flags & kSwitchedOn;
    SetBarRange(*b, min, max, Find(w)->dragging != 0);
    const bool visibility = (b->flags & kSwitchedOn) != before;
    if (redraw || visibility) Redraw(w, visibility);
    return TRUE;
}

BOOL WINAPI SkinShowScrollBar(HWND w, int bars, BOOL show) {
    ScrollSkinWindow* s = Find(w);
    if (!s || bars == SB_CTL) return Original<ShowFn>(kShow)(w, bars, show);
    LONG style = GetWindowLongA(w, GWL_STYLE);
    for (int bar = 0; bar < 2; ++bar) {
        if (bars != SB_BOTH && bars != bar) continue;
        const LONG bit = bar ? WS_VSCROLL : WS_HSCROLL;
        s->bars[bar].flags =
            show ? s->bars[bar].flags | kSwitchedOn : s->bars[bar].flags & ~kSwitchedOn;
        style = show ? style | bit : style & ~bit;
    }
    s->inStyleChange = 1;
    SetWindowLongA(w, GWL_STYLE, style);
    s->inStyleChange = 0;
    RecalculateFrame(w);
    return TRUE;
}

} // namespace

bool ScrollSkinInstall() {
    // The older platform line keeps its own bars.
    if (g_installed || (GetVersion() & 0x80000000u)) return false;
    RedirectImports("user32.dll", g_functions, std::size(g_functions), nullptr);
    g_installed = true;
    return true;
}

void ScrollSkinRemove() {
    if (!g_installed) return;
    RestoreImports("user32.dll", g_functions, std::size(g_functions), nullptr);
    g_installed = false;
}

int ScrollSkinAttach(HWND w) {
    if (!w || !IsWindow(w) || Find(w)) return 0;
    auto* s = new (std::nothrow) ScrollSkinWindow;
    if (!s) return 0;
    const LONG style = GetWindowLongA(w, GWL_STYLE);
    for (int bar = 0; bar < 2; ++bar) {
        ScrollSkinBar& b = s->bars[bar];
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        if (Original<GetInfoFn>(kGetInfo)(w, bar, &info))
            b.scrollInfo = {info.nMin, info.nMax, static_cast<int32_t>(info.nPage), info.nPos,
                            info.nTrackPos};
        if (style & (bar ? WS_VSCROLL : WS_HSCROLL)) b.flags |= kSwitchedOn;
        b.barType = static_cast<uint32_t>(bar);
        b.minThumbSize = kDefaultMinThumb;
    }
    s->leftScrollBar = (GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_LEFTSCROLLBAR) ? 1 : 0;
    SetPropA(w, ScrollSkinProperty, s);
    Attached().Set(w, s);
    s->previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinProc)));
    RecalculateFrame(w);
    return 1;
}

void ScrollSkinDetach(HWND w) {
    ScrollSkinWindow* s = Find(w);
    if (!s) return;
    SetWindowLongPtrA(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s->previousProc));
    RemovePropA(w, ScrollSkinProperty);
    Attached().Remove(w);
    if (g_track.window == w) g_track = Tracking{};
    if (g_track.hotWindow == w) g_track.hotWindow = nullptr;
    delete s;
    if (IsWindow(w)) RecalculateFrame(w);
}

int ScrollSkinSetSize(HWND w, int bar, int arrowLength, int thickness) {
    ScrollSkinWindow* s = Find(w);
    const auto valid = [](int n) { return n != 0 && n >= -8 && n <= 256; };
    if (!s || !valid(arrowLength) || !valid(thickness)) return 0;
    for (int b = 0; b < 2; ++b)
        if (bar == SB_BOTH || bar == b) {
            s->bars[b].arrowLength = arrowLength;
            s->bars[b].thickness = thickness;
        }
    RecalculateFrame(w);
    return 1;
}

void ScrollSkinSetMinThumbSize(HWND w, int bar, int size) {
    ScrollSkinWindow* s = Find(w);
    if (!s) return;
    for (int b = 0; b < 2; ++b)
        if (bar == SB_BOTH || bar == b)
            s->bars[b].minThumbSize = size < 0 ? kDefaultMinThumb : size;
}
