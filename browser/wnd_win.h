// The object layer over window handles. A CWndObject wraps one window and
// can take over (subclass) an existing one; a CDialogOrv runs a dialog from
// the module's resources. Their procedures find the object from the window
// (a process-wide map beside the window property, which stays set) and call
// a virtual handler per message; a handler that answers 0 leaves the message
// to DefaultProc.
#pragma once

#include <windows.h>

#include <string>

// The module whose resources the dialogs, menus and accelerators come
// from: the plug-in sets it at start.
extern HINSTANCE g_moduleInstance;
void SetModuleInstance(HINSTANCE instance);

constexpr char kWndObjectProperty[] = "CWndOrvelaList";
constexpr char kDialogProperty[] = "CDialogOrv";

class CWndObject {
  public:
    CWndObject() = default;
    explicit CWndObject(HWND hwnd) : hwnd(hwnd) {}
    // Nothing happens to the window: it may outlive this object only if it
    // was never subclassed by it.
    virtual ~CWndObject() = default;
    CWndObject(const CWndObject&) = default;
    CWndObject& operator=(const CWndObject&) = default;

    // Handlers: non-zero means handled and is the message's result.
    virtual LRESULT OnInitDialog() { return 0; }
    virtual LRESULT OnPaint(WPARAM) { return 0; }
    virtual LRESULT OnSize(UINT, int, int) { return 0; }
    // Id 1 is OK and id 2 Cancel; anything else is not handled here.
    virtual LRESULT OnCommand(UINT code, WPARAM id, CWndObject control);
    virtual void OnOK() { endDialog(IDOK); }
    virtual void OnCancel() { endDialog(IDCANCEL); }
    virtual LRESULT OnSysCommand(WPARAM, LPARAM, WORD) { return 0; }
    // `result` starts at 0; what a handler leaves there is the answer.
    virtual LRESULT OnNotify(WPARAM, NMHDR*, LRESULT*) { return 0; }
    virtual LRESULT OnDisplayChange(WPARAM, WORD, WORD) { return 0; }
    virtual LRESULT OnDestroy() { return 0; }
    virtual LRESULT OnClose() { return 0; }
    virtual LRESULT OnShowWindow(WPARAM, LPARAM) { return 0; }
    virtual LRESULT OnMouseMove(WPARAM, int, int) { return 0; }
    virtual LRESULT OnLButtonDown(WPARAM, int, int) { return 0; }
    virtual LRESULT OnNcMouseMove(WPARAM, int, int) { return 0; }
    virtual LRESULT OnKeyDown(WPARAM, WORD, WORD) { return 0; }
    virtual LRESULT OnChar(WPARAM, WORD, WORD) { return 0; }
    // The replaced procedure when there is one, else the platform default.
    virtual LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);

    bool isWindow() const { return hwnd && IsWindow(hwnd); }
    HWND handle() const { return hwnd; }
    CWndObject dialogItem(int id) const;
    CWndObject parent() const;
    void show(int command) const;
    void setText(const char* text) const;
    RECT clientRect() const;
    RECT windowRect() const;
    void screenToClient(RECT& r) const;
    void endDialog(INT_PTR code) const;
    void ensureVisible(int item, BOOL partial) const;

    // Takes over `target`'s window procedure; false for a dead window.
    bool subclass(HWND target);
    // Centres on `reference` (by default the parent of a child window, else
    // the owner), kept inside the parent's client area or the work area.
    void centre(HWND reference = nullptr) const;

    HWND hwnd = nullptr;
    WNDPROC previousProc = nullptr;

  protected:
    // Routes one message of a window that this object subclassed.
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM);
};

class CDialogOrv : public CWndObject {
  public:
    using CWndObject::CWndObject;
    // Dialogs leave everything unhandled to the dialog manager.
    LRESULT DefaultProc(UINT, WPARAM, LPARAM) override { return 0; }

    // A modeless dialog from template `id`; false when none was made.
    bool createModeless(int id, const CWndObject* parent);
    // A modal run; the keyboard focus goes back where it was. Answers the
    // end code (-1 when the dialog could not be made).
    INT_PTR runModal(int id, const CWndObject* owner);

  protected:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    // In front of the dialog manager from WM_INITDIALOG on (previousProc
    // keeps what it replaced): answers the handled notifications directly.
    static LRESULT CALLBACK NotifyProc(HWND, UINT, WPARAM, LPARAM);
};

// Every message box of the plug-in: owned by `owner`, only an OK button.
void ShowMessage(HWND owner, const std::string& text, const char* caption);
