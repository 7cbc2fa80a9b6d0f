// The scroll-bar skinning layer: takes a window's two standard scroll bars
// over, keeps their scroll information, lays them out, hit-tests and tracks
// the pointer itself, sends the window the scroll messages standard bars
// send, and has the window's parent paint every part through a WM_NOTIFY of
// code kScrollSkinDrawCode. The platform's eight scroll-bar functions are
// redirected for the whole process, so that a control's own calls on itself
// reach the layer while it is attached.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "scrollskin/scroll_bar.h"

constexpr char ScrollSkinProperty[] = "OrvelaScrollSkin";
constexpr UINT kScrollSkinDrawCode = 0xFFFFF001; // -4095
constexpr UINT_PTR kHotTrackTimer = 0xFFFFFFF2;
constexpr UINT kHotTrackMs = 20;
constexpr int kCornerBar = 3;

// Part states in ScrollSkinDraw.
constexpr int kPartPressed = 1, kPartDisabled = 4, kPartNormal = 32, kPartHot = 64;

// The drawing notification: the pre-paint stage for a bar (CDDS_PREPAINT),
// one item stage per part (CDDS_ITEMPREPAINT) when the parent answered
// CDRF_SKIPDEFAULT, then the post-paint stage. Rectangles are in window
// coordinates of the device.
struct ScrollSkinDraw {
    NMHDR hdr;
    DWORD stage;
    HDC dc;
    RECT rect;
    int part;
    int state;
    int bar; // 0 horizontal, 1 vertical, 3 the corner
};

struct ScrollSkinWindow {
    WNDPROC previousProc = nullptr;
    ScrollSkinBar bars[2]; // horizontal, vertical
    int dragging = 0;
    int leftScrollBar = 0;
    int borders[4] = {}; // left, right, top, bottom of the window's own frame
    int inStyleChange = 0;
};

// For the whole process, from the plug-in's init to its quit.
bool ScrollSkinInstall();
void ScrollSkinRemove();

// 1, or 0 when the window has the layer already (or is no window).
int ScrollSkinAttach(HWND window);
void ScrollSkinDetach(HWND window);
// Bar 0, 1 or 3 (both); sizes from -8 to 256 and never 0, negative meaning
// times the platform's metric. 0 when refused.
int ScrollSkinSetSize(HWND window, int bar, int arrowLength, int thickness);
// -1: the platform's default.
void ScrollSkinSetMinThumbSize(HWND window, int bar, int size);
