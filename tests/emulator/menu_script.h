// Answers a pop-up menu from inside its own loop, for the tests and the demo
// alike: what a user's pointer and Enter key do.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Answers the next pop-up menu of this thread from inside its own loop: reads
// its items, then moves the pointer onto the item `pick` and chooses it with
// Enter (0 or a greyed item: closes the menu, choosing nothing). A thread timer keeps the loop's
// filter running; the number of steps is bounded, so a test never hangs on a menu.
class MenuScript {
  public:
    struct Item {
        unsigned id;
        std::string text;
        bool greyed;
    };
    explicit MenuScript(unsigned pick) : pick_(pick) {
        current_ = this;
        filter_ = SetWindowsHookExA(WH_MSGFILTER, &Filter, nullptr, GetCurrentThreadId());
        timer_ = SetTimer(nullptr, 0, 20, nullptr);
    }
    ~MenuScript() {
        KillTimer(nullptr, timer_);
        UnhookWindowsHookEx(filter_);
        current_ = nullptr;
    }
    MenuScript(const MenuScript&) = delete;
    MenuScript& operator=(const MenuScript&) = delete;

    std::vector<Item> items; // separators left out
    bool shown() const { return !items.empty(); }

  private:
    static LRESULT CALLBACK Filter(int code, WPARAM w, LPARAM l) {
        if (code == MSGF_MENU && current_) current_->Step();
        return CallNextHookEx(nullptr, code, w, l);
    }
    void Step() {
        HWND window = FindWindowA("#32768", nullptr);
        auto menu = reinterpret_cast<HMENU>(SendMessageA(window, 0x01E1 /* MN_GETHMENU */, 0, 0));
        if (!menu) return;
        int target = -1;
        if (items.empty()) {
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                char text[128] = {};
                GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
                const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
                if (!(state & MF_SEPARATOR))
                    items.push_back({GetMenuItemID(menu, i), text, (state & MF_GRAYED) != 0});
            }
        }
        for (int i = 0; i < GetMenuItemCount(menu); ++i)
            if (pick_ && GetMenuItemID(menu, i) == pick_ &&
                !(GetMenuState(menu, i, MF_BYPOSITION) & MF_GRAYED))
                target = i;
        RECT r{};
        if (target < 0 || ++steps_ > 200 || !GetMenuItemRect(nullptr, menu, target, &r)) {
            EndMenu();
        } else if (GetMenuState(menu, target, MF_BYPOSITION) & MF_HILITE) {
            // One Enter at a time: a key the menu has no time to take would
            // reach the list. Another only when the menu is still open well
            // after the last, which it then never took.
            if (steps_ - enteredAt_ >= 15 || !enteredAt_) {
                PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
                enteredAt_ = steps_;
            }
        } else if (steps_ % 3 == 1) {
            // The pointer, not the keyboard: the menu follows the pointer,
            // which may rest on another item when the menu opens.
            SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            PostMessageA(window, WM_MOUSEMOVE, 0, 0);
        }
    }
    static inline MenuScript* current_ = nullptr;
    unsigned pick_;
    int steps_ = 0;
    int enteredAt_ = 0; // the step of the last Enter; 0 before any
    HHOOK filter_ = nullptr;
    UINT_PTR timer_ = 0;
};

// Runs steps against the next modal dialog of this thread, one step per
// message that the dialog's own loop takes, so a step runs after the one
// before it has been handled and only while the dialog is still running.
class ModalScript {
  public:
    using Step = std::function<void(HWND dialog)>;
    explicit ModalScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        current_ = this;
        created_ = SetWindowsHookExA(WH_CALLWNDPROCRET, &Created, nullptr, GetCurrentThreadId());
        filter_ = SetWindowsHookExA(WH_MSGFILTER, &Filter, nullptr, GetCurrentThreadId());
    }
    ~ModalScript() {
        UnhookWindowsHookEx(created_);
        UnhookWindowsHookEx(filter_);
        current_ = nullptr;
    }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    size_t done() const { return next_; }
    HWND dialog() const { return dialog_; }

  private:
    static LRESULT CALLBACK Created(int code, WPARAM w, LPARAM l) {
        const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(l);
        if (code == HC_ACTION && current_ && !current_->dialog_ && m->message == WM_INITDIALOG) {
            current_->dialog_ = m->hwnd;
            PostMessageA(m->hwnd, WM_NULL, 0, 0);
        }
        return CallNextHookEx(nullptr, code, w, l);
    }
    static LRESULT CALLBACK Filter(int code, WPARAM w, LPARAM l) {
        ModalScript* s = current_;
        if (code == MSGF_DIALOGBOX && s && s->dialog_ && s->next_ < s->steps_.size() &&
            !s->running_) {
            s->running_ = true;
            const size_t i = s->next_++;
            s->steps_[i](s->dialog_);
            s->running_ = false;
            if (s->next_ < s->steps_.size() && IsWindow(s->dialog_))
                PostMessageA(s->dialog_, WM_NULL, 0, 0);
        }
        return CallNextHookEx(nullptr, code, w, l);
    }

    static inline ModalScript* current_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool running_ = false;
    HWND dialog_ = nullptr;
    HHOOK created_ = nullptr, filter_ = nullptr;
};
