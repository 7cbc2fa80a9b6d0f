// A box that nobody answers would wait for a user for ever, a hang that says
// nothing. While a BoxWatch lives, a box of this thread that is still open
// after kUnansweredMs is reported with its caption and text, then closed.
// For the tests and the player emulator alike: nobody sits at their screens.
#pragma once

#include <windows.h>

#include <map>
#include <string>

class BoxWatch {
  public:
    using Report = void (*)(const std::string& caption, const std::string& text);
    static constexpr UINT kUnansweredMs = 10000;

    explicit BoxWatch(Report report) {
        report_ = report;
        hook_ = SetWindowsHookExA(WH_CBT, &Activated, nullptr, GetCurrentThreadId());
    }
    ~BoxWatch() { UnhookWindowsHookEx(hook_); }
    BoxWatch(const BoxWatch&) = delete;
    BoxWatch& operator=(const BoxWatch&) = delete;

  private:
    static inline Report report_ = nullptr;
    static inline std::map<UINT_PTR, HWND> watched_; // timer -> box
    HHOOK hook_ = nullptr;

    static std::string TextOf(HWND w) {
        char text[512] = {};
        GetWindowTextA(w, text, sizeof text);
        return text;
    }
    static void CALLBACK Unanswered(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        const HWND box = watched_[timer];
        watched_.erase(timer);
        if (!IsWindow(box)) return;
        report_(TextOf(box), TextOf(GetDlgItem(box, 0xFFFF)));
        PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    static LRESULT CALLBACK Activated(int code, WPARAM w, LPARAM l) {
        char name[8] = {};
        const HWND window = reinterpret_cast<HWND>(w);
        if (code == HCBT_ACTIVATE && GetClassNameA(window, name, sizeof name) &&
            std::string(name) == "#32770") {
            bool known = false;
            for (const auto& [timer, box] : watched_)
                known |= box == window;
            if (!known) watched_[SetTimer(nullptr, 0, kUnansweredMs, &Unanswered)] = window;
        }
        return CallNextHookEx(nullptr, code, w, l);
    }
};
