#include "tests/emulator/emulator.h"

namespace {

constexpr char kClassName[] = "OrvelaPlayerEmulator";

void RegisterMainClass() {
    static bool done = false;
    if (done) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA; // replaced per window in the constructor
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExA(&wc);
    done = true;
}

} // namespace

PlayerEmulator::PlayerEmulator(Options options) {
    RegisterMainClass();
    menuBar_ = CreateMenu();
    if (options.fileMenu != FileMenu::None) {
        fileMenu_ = CreatePopupMenu();
        AppendMenuA(fileMenu_, MF_STRING, 40029, "Play file...");
        AppendMenuA(fileMenu_, MF_STRING, 40155, "Play URL...");
        if (options.fileMenu == FileMenu::WithSeparator) AppendMenuA(fileMenu_, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(fileMenu_, MF_STRING, 40012, "Preferences...");
        if (options.fileMenu == FileMenu::WithSeparator) AppendMenuA(fileMenu_, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(fileMenu_, MF_STRING, 40001, "Exit");
        AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu_), "&File");
    }
    main_ = CreateWindowExA(0, kClassName, "Winamp", WS_OVERLAPPEDWINDOW, 40, 40, 520, 360,
                            nullptr, menuBar_, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(main_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(main_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PlayerEmulator::WndProc));
    if (options.visible) {
        ShowWindow(main_, SW_SHOWNORMAL);
        UpdateWindow(main_);
    }
}

PlayerEmulator::~PlayerEmulator() {
    if (main_) {
        SetWindowLongPtrA(main_, GWLP_USERDATA, 0);
        DestroyWindow(main_);
    }
}

winampGeneralPurposePlugin* PlayerEmulator::LoadGeneralPlugin(const char* dll) {
    general_ = LoadLibraryA(dll);
    if (!general_) return nullptr;
    auto get = reinterpret_cast<winampGetGeneralPurposePluginFn>(
        reinterpret_cast<void*>(GetProcAddress(general_, "winampGetGeneralPurposePlugin")));
    if (!get) return nullptr;
    generalRecord_ = get();
    if (!generalRecord_) return nullptr;
    generalRecord_->hwndParent = main_;
    generalRecord_->hDllInstance = general_;
    generalRecord_->init();
    return generalRecord_;
}

void PlayerEmulator::QuitGeneralPlugin() {
    if (generalRecord_) generalRecord_->quit();
}

void PlayerEmulator::Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
    } while (true);
}

size_t PlayerEmulator::CountReceived(UINT msg, WPARAM wParam) const {
    size_t n = 0;
    for (const auto& r : received)
        if (r.msg == msg && r.wParam == wParam) ++n;
    return n;
}

std::vector<std::string> PlayerEmulator::FileMenuTexts() const {
    std::vector<std::string> out;
    if (!fileMenu_) return out;
    for (int i = 0; i < GetMenuItemCount(fileMenu_); ++i) {
        char text[128] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text - 1;
        GetMenuItemInfoA(fileMenu_, i, TRUE, &info);
        out.push_back((info.fType & MFT_SEPARATOR) ? "-" : text);
    }
    return out;
}

UINT PlayerEmulator::FileMenuId(int pos) const { return GetMenuItemID(fileMenu_, pos); }

LRESULT PlayerEmulator::OnIpc(WPARAM data, LPARAM ipc) {
    const auto index = static_cast<size_t>(data);
    const bool inRange = static_cast<int>(data) >= 0 && index < playlist.size();
    switch (ipc) {
    case wa::IPC_GETLISTLENGTH:
        return static_cast<LRESULT>(playlist.size());
    case wa::IPC_GETLISTPOS:
        return position;
    case wa::IPC_SETPLAYLISTPOS:
        position = static_cast<int>(data);
        return 0;
    case wa::IPC_GETPLAYLISTFILE:
        return inRange ? reinterpret_cast<LRESULT>(playlist[index].file.c_str()) : 0;
    case wa::IPC_GETPLAYLISTTITLE:
        return inRange ? reinterpret_cast<LRESULT>(playlist[index].title.c_str()) : 0;
    case wa::IPC_GET_HMENU:
        return data == 1 ? reinterpret_cast<LRESULT>(fileMenu_) : 0;
    }
    return 0;
}

LRESULT CALLBACK PlayerEmulator::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PlayerEmulator*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
    self->received.push_back({msg, wParam, lParam});
    if (msg == wa::WM_WA_IPC) return self->OnIpc(wParam, lParam);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
