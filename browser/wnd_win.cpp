#include "browser/wnd_win.h"

#include <commctrl.h>

#include "base/window_objects_win.h"

HINSTANCE g_moduleInstance = nullptr;

void SetModuleInstance(HINSTANCE instance) {
    g_moduleInstance = instance;
}

namespace {

// The objects of subclassed windows and of dialogs, as their properties hold them.
WindowObjects<CWndObject>& Subclassed() {
    static WindowObjects<CWndObject> objects;
    return objects;
}
WindowObjects<CDialogOrv>& Dialogs() {
    static WindowObjects<CDialogOrv> objects;
    return objects;
}

// The handler for messages both procedures route; `dialog` drops the ones a
// dialog leaves to its manager. False when no handler takes the message.
bool Dispatch(CWndObject& o, UINT msg, WPARAM w, LPARAM l, bool dialog, LRESULT& out) {
    const auto x = static_cast<short>(LOWORD(l));
    const auto y = static_cast<short>(HIWORD(l));
    switch (msg) {
    case WM_DESTROY:
        out = o.OnDestroy();
        return true;
    case WM_SIZE:
        out = o.OnSize(static_cast<UINT>(w), LOWORD(l), HIWORD(l));
        return true;
    case WM_PAINT:
        out = o.OnPaint(w);
        return true;
    case WM_CLOSE:
        out = o.OnClose();
        return true;
    case WM_DISPLAYCHANGE:
        out = o.OnDisplayChange(w, LOWORD(l), HIWORD(l));
        return true;
    case WM_INITDIALOG:
        out = o.OnInitDialog();
        return true;
    case WM_COMMAND:
        out = o.OnCommand(HIWORD(w), w, CWndObject(reinterpret_cast<HWND>(l)));
        return true;
    }
    if (dialog) return false;
    switch (msg) {
    case WM_SHOWWINDOW:
        out = o.OnShowWindow(w, l);
        return true;
    case WM_NCMOUSEMOVE:
        out = o.OnNcMouseMove(w, x, y);
        return true;
    case WM_KEYDOWN:
        out = o.OnKeyDown(w, LOWORD(l), HIWORD(l));
        return true;
    case WM_CHAR:
        out = o.OnChar(w, LOWORD(l), HIWORD(l));
        return true;
    case WM_SYSCOMMAND:
        out = o.OnSysCommand(w, l, HIWORD(l));
        return true;
    case WM_MOUSEMOVE:
        out = o.OnMouseMove(w, x, y);
        return true;
    case WM_LBUTTONDOWN:
        out = o.OnLButtonDown(w, x, y);
        return true;
    }
    return false;
}

} // namespace

LRESULT CWndObject::OnCommand(UINT, WPARAM id, CWndObject) {
    switch (LOWORD(id)) {
    case IDOK:
        OnOK();
        return 1;
    case IDCANCEL:
        OnCancel();
        return 1;
    }
    return 0;
}

LRESULT CWndObject::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (previousProc) return CallWindowProcA(previousProc, hwnd, msg, wParam, lParam);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

CWndObject CWndObject::dialogItem(int id) const {
    return CWndObject(hwnd ? GetDlgItem(hwnd, id) : nullptr);
}

CWndObject CWndObject::parent() const {
    return CWndObject(hwnd ? GetParent(hwnd) : nullptr);
}

void CWndObject::show(int command) const {
    if (hwnd) ShowWindow(hwnd, command);
}

void CWndObject::setText(const char* text) const {
    if (hwnd) SetWindowTextA(hwnd, text);
}

RECT CWndObject::clientRect() const {
    RECT r{};
    if (hwnd) GetClientRect(hwnd, &r);
    return r;
}

RECT CWndObject::windowRect() const {
    RECT r{};
    if (hwnd) GetWindowRect(hwnd, &r);
    return r;
}

void CWndObject::screenToClient(RECT& r) const {
    if (!hwnd) return;
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
}

void CWndObject::endDialog(INT_PTR code) const {
    if (hwnd) EndDialog(hwnd, code);
}

void CWndObject::ensureVisible(int item, BOOL partial) const {
    if (hwnd) SendMessageA(hwnd, LVM_ENSUREVISIBLE, item, LOWORD(partial));
}

bool CWndObject::subclass(HWND target) {
    if (!target || !IsWindow(target)) return false;
    previousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(target, GWLP_WNDPROC));
    hwnd = target;
    SetPropA(target, kWndObjectProperty, this);
    Subclassed().Set(target, this);
    SetWindowLongPtrA(target, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWndObject::SubclassProc));
    return true;
}

void CWndObject::centre(HWND reference) const {
    if (!hwnd) return;
    const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    const bool child = (style & WS_CHILD) != 0;
    if (!reference) reference = child ? GetParent(hwnd) : GetWindow(hwnd, GW_OWNER);

    RECT area{}, ref{};
    if (child) {
        HWND p = GetParent(hwnd);
        GetClientRect(p, &area);
        if (reference) {
            GetClientRect(reference, &ref);
            MapWindowPoints(reference, p, reinterpret_cast<POINT*>(&ref), 2);
        } else {
            ref = area;
        }
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        const LONG refStyle = reference ? GetWindowLongA(reference, GWL_STYLE) : 0;
        if (reference && (refStyle & WS_VISIBLE) && !(refStyle & WS_MINIMIZE))
            GetWindowRect(reference, &ref);
        else
            ref = area;
    }

    RECT me{};
    GetWindowRect(hwnd, &me);
    const int w = me.right - me.left, h = me.bottom - me.top;
    int left = (ref.left + ref.right) / 2 - w / 2;
    int top = (ref.top + ref.bottom) / 2 - h / 2;
    if (left < area.left)
        left = area.left;
    else if (left + w > area.right)
        left = area.right - w;
    if (top < area.top)
        top = area.top;
    else if (top + h > area.bottom)
        top = area.bottom - h;
    SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK CWndObject::SubclassProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    CWndObject* o = Subclassed().Find(hwnd);
    if (!o) return 0;
    if (msg == WM_NCDESTROY) {
        RemovePropA(hwnd, kWndObjectProperty);
        Subclassed().Remove(hwnd);
        return CallWindowProcA(o->previousProc, hwnd, msg, w, l);
    }
    try {
        if (msg == WM_NOTIFY) {
            LRESULT result = 0;
            if (o->OnNotify(w, reinterpret_cast<NMHDR*>(l), &result)) return result;
        } else {
            LRESULT result = 0;
            if (Dispatch(*o, msg, w, l, false, result) && result) return result;
        }
        return o->DefaultProc(msg, w, l);
    } catch (...) {
        // The control still gets its own handling of what ours failed on.
        return CallWindowProcA(o->previousProc, hwnd, msg, w, l);
    }
}

bool CDialogOrv::createModeless(int id, const CWndObject* parent) {
    hwnd =
        CreateDialogParamA(g_moduleInstance, MAKEINTRESOURCEA(id), parent ? parent->hwnd : nullptr,
                           &CDialogOrv::DialogProc, reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

INT_PTR CDialogOrv::runModal(int id, const CWndObject* owner) {
    HWND focus = GetFocus();
    const INT_PTR code =
        DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(id), owner ? owner->hwnd : nullptr,
                        &CDialogOrv::DialogProc, reinterpret_cast<LPARAM>(this));
    SetFocus(focus && IsWindow(focus) ? focus : nullptr);
    return code;
}

INT_PTR CALLBACK CDialogOrv::DialogProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_INITDIALOG && l) {
        auto* made = reinterpret_cast<CDialogOrv*>(l);
        SetPropA(hwnd, kDialogProperty, reinterpret_cast<HANDLE>(l));
        Dialogs().Set(hwnd, made);
        made->hwnd = hwnd;
        // Notifications are answered in front of the dialog manager, as a
        // window procedure's result: a custom-drawn list sends several per
        // row on every paint, and each answer through DWLP_MSGRESULT is a
        // call into the window system (under Wine a round trip to its server).
        made->previousProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NotifyProc)));
    }
    CDialogOrv* o = Dialogs().Find(hwnd);
    if (!o) return 0;
    if (msg == WM_NCDESTROY) {
        RemovePropA(hwnd, kDialogProperty);
        Dialogs().Remove(hwnd);
        return 0;
    }
    try {
        if (msg == WM_NOTIFY) {
            LRESULT result = 0;
            // With NotifyProc in front, one comes here only unhandled.
            if (o->previousProc) return o->DefaultProc(msg, w, l);
            if (o->OnNotify(w, reinterpret_cast<NMHDR*>(l), &result)) {
                SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
                return 1;
            }
        } else {
            LRESULT result = 0;
            if (Dispatch(*o, msg, w, l, true, result) && result) return result;
        }
        return o->DefaultProc(msg, w, l);
    } catch (...) {
        return 0; // the dialog manager does its own processing
    }
}

LRESULT CALLBACK CDialogOrv::NotifyProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    CDialogOrv* o = Dialogs().Find(hwnd);
    // Every dialog of the module has the dialog manager's procedure behind it.
    const WNDPROC next = o && o->previousProc ? o->previousProc : &DefDlgProcA;
    if (o && msg == WM_NOTIFY) {
        try {
            LRESULT result = 0;
            if (o->OnNotify(w, reinterpret_cast<NMHDR*>(l), &result)) return result;
        } catch (...) {
            return 0;
        }
    }
    return CallWindowProcA(next, hwnd, msg, w, l);
}

void ShowMessage(HWND owner, const std::string& text, const char* caption) {
    MessageBoxA(owner && IsWindow(owner) ? owner : nullptr, text.c_str(), caption, MB_OK);
}
