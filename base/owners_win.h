// One owner for every kind of platform handle the plug-ins hold: move-only,
// and released exactly once, by the kind's own function. A kind is a small
// traits type: the handle type, its empty value and how it is released.
#pragma once

#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <windows.h>

#include <objbase.h>

#include <utility>

template <class Kind> class Owner {
  public:
    using Handle = typename Kind::Handle;

    Owner() = default;
    explicit Owner(Handle h) : h_(Kind::Valid(h) ? h : Kind::Empty()) {}
    ~Owner() { Reset(); }
    Owner(Owner&& o) noexcept : h_(o.Release()) {}
    Owner& operator=(Owner&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Handle Get() const { return h_; }
    explicit operator bool() const { return Kind::Valid(h_); }
    // Releases what is held and takes `h` (an invalid value counts as none).
    void Reset(Handle h = Kind::Empty()) {
        if (Kind::Valid(h_)) Kind::Close(h_);
        h_ = Kind::Valid(h) ? h : Kind::Empty();
    }
    // Gives up ownership without releasing.
    Handle Release() { return std::exchange(h_, Kind::Empty()); }

  private:
    Handle h_ = Kind::Empty();
};

namespace owner_kinds {

// A kind whose empty value is null.
template <class H, auto CloseFn> struct NullEmpty {
    using Handle = H;
    static constexpr Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { CloseFn(h); }
};

// Kernel objects: both null and INVALID_HANDLE_VALUE mean none.
struct Kernel {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool Valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct Socket {
    using Handle = SOCKET;
    static constexpr Handle Empty() { return INVALID_SOCKET; }
    static bool Valid(Handle s) { return s != INVALID_SOCKET; }
    static void Close(Handle s) { closesocket(s); }
};

inline void DeleteGdiObject(HGDIOBJ h) {
    DeleteObject(h);
}
inline void UnmapView(void* view) {
    UnmapViewOfFile(view);
}
inline void DestroyMenuHandle(HMENU m) {
    DestroyMenu(m);
}
inline void DeleteDc(HDC dc) {
    DeleteDC(dc);
}
inline void FreeLocal(void* p) {
    LocalFree(p);
}
inline void FreeTaskMemory(void* p) {
    CoTaskMemFree(p);
}
inline void DestroyHeap(HANDLE h) {
    HeapDestroy(h);
}
template <class T> void ReleaseCom(T* p) {
    p->Release();
}

} // namespace owner_kinds

// Threads, events, files, file mappings.
using UniqueHandle = Owner<owner_kinds::Kernel>;
using UniqueSocket = Owner<owner_kinds::Socket>;
// A mapped view of a file mapping.
using MappedView = Owner<owner_kinds::NullEmpty<void*, owner_kinds::UnmapView>>;
using UniqueMenu = Owner<owner_kinds::NullEmpty<HMENU, owner_kinds::DestroyMenuHandle>>;
// A pen, brush, bitmap, font or region, deleted with DeleteObject.
template <class H> using GdiObject = Owner<owner_kinds::NullEmpty<H, owner_kinds::DeleteGdiObject>>;
using Pen = GdiObject<HPEN>;
using Brush = GdiObject<HBRUSH>;
using Bitmap = GdiObject<HBITMAP>;
using Font = GdiObject<HFONT>;
using Region = GdiObject<HRGN>;
// A memory device context (CreateCompatibleDC), deleted with DeleteDC.
using MemoryDC = Owner<owner_kinds::NullEmpty<HDC, owner_kinds::DeleteDc>>;
// Memory the system allocated for us with LocalAlloc (security descriptors,
// SID texts).
using LocalMemory = Owner<owner_kinds::NullEmpty<void*, owner_kinds::FreeLocal>>;
// Memory a COM call allocated for us with CoTaskMemAlloc (device ids, formats).
template <class T>
using TaskMemory = Owner<owner_kinds::NullEmpty<T*, owner_kinds::FreeTaskMemory>>;
// A private heap (HeapCreate), destroyed with everything in it.
using HeapOwner = Owner<owner_kinds::NullEmpty<HANDLE, owner_kinds::DestroyHeap>>;
// A COM interface pointer, released once.
template <class T> using ComPtr = Owner<owner_kinds::NullEmpty<T*, owner_kinds::ReleaseCom<T>>>;

// A window's device context, given back to that window: the client area's
// (GetDC) or the whole window's, frame included (GetWindowDC).
class WindowDc {
  public:
    static WindowDc Client(HWND w) { return WindowDc(w, GetDC(w)); }
    static WindowDc Whole(HWND w) { return WindowDc(w, GetWindowDC(w)); }
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(WindowDc&& o) noexcept : window_(o.window_), dc_(std::exchange(o.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&&) = delete;
    WindowDc(const WindowDc&) = delete;
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    WindowDc(HWND w, HDC dc) : window_(w), dc_(dc) {}
    HWND window_;
    HDC dc_;
};

// The socket library, started for the life of the object and ended with it.
class WinsockSession {
  public:
    WinsockSession() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (started_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool Started() const { return started_; }

  private:
    bool started_ = false;
};

// Scoped GDI work. Declare the object before the selection that uses it:
// the selection ends first, so nothing is deleted while still selected.
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
