// Each ctest entry runs this program with a filter naming one test. A filter
// that matches nothing (a stale binary, a renamed test) must fail, not pass.
//
// A box that no test answers would wait for a user until the test's time
// limit, a hang that says nothing: one of this thread's that is still open
// after kUnansweredMs fails the test, with what it says, and is closed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

constexpr UINT kUnansweredMs = 10000;
std::map<UINT_PTR, HWND> watched; // timer -> box

std::string TextOf(HWND w) {
    char text[512] = {};
    GetWindowTextA(w, text, sizeof text);
    return text;
}

void CALLBACK Unanswered(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const HWND box = watched[timer];
    watched.erase(timer);
    if (!IsWindow(box)) return;
    ADD_FAILURE() << "a box nobody answered: \"" << TextOf(box) << "\": \""
                  << TextOf(GetDlgItem(box, 0xFFFF)) << "\"";
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

LRESULT CALLBACK Activated(int code, WPARAM w, LPARAM l) {
    char name[8] = {};
    const HWND window = reinterpret_cast<HWND>(w);
    if (code == HCBT_ACTIVATE && GetClassNameA(window, name, sizeof name) &&
        std::string(name) == "#32770") {
        bool known = false;
        for (const auto& [timer, box] : watched)
            known |= box == window;
        if (!known) watched[SetTimer(nullptr, 0, kUnansweredMs, &Unanswered)] = window;
    }
    return CallNextHookEx(nullptr, code, w, l);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const HHOOK boxes = SetWindowsHookExA(WH_CBT, &Activated, nullptr, GetCurrentThreadId());
    const int result = RUN_ALL_TESTS();
    UnhookWindowsHookEx(boxes);
    if (result == 0 && ::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matched the filter\n");
        return 1;
    }
    return result;
}
