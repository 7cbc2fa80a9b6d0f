// Scoped GDI work: selections and paint sessions. The objects themselves
// are owned by base/owners_win.h's owners; declare the object before the
// selection that uses it: the selection ends first, so nothing is deleted
// while it is still selected into a device context.
#pragma once

#include "base/owners_win.h"

// An object selected into a device context; the previous one comes back at
// the end of the scope. Selecting null does nothing.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object)
        : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    bool ok() const { return old_ && old_ != HGDI_ERROR; }

  private:
    HDC dc_;      // not owned
    HGDIOBJ old_; // not owned
};

// BeginPaint .. EndPaint.
class PaintSession {
  public:
    explicit PaintSession(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &ps_)) {}
    ~PaintSession() { EndPaint(hwnd_, &ps_); }
    PaintSession(const PaintSession&) = delete;
    PaintSession& operator=(const PaintSession&) = delete;
    HDC dc() const { return dc_; }
    const PAINTSTRUCT& info() const { return ps_; }

  private:
    HWND hwnd_; // not owned
    PAINTSTRUCT ps_{};
    HDC dc_;
};
