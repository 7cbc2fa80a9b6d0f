#include "tests/emulator/emulator.h"

#include <algorithm>

namespace {

constexpr char kClassName[] = "OrvelaPlayerEmulator";
constexpr char kFrameClassName[] = "OrvelaPlayerFrame";
constexpr char kEditorClassName[] = "OrvelaPlayerEditor";
constexpr int kCmdStop = 40047; // the Stop button
constexpr COLORREF kFrameBackground = RGB(24, 24, 40);

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

// The player's frame keeps its content window filling its client area.
void FitChild(HWND frame) {
    HWND child = GetWindow(frame, GW_CHILD);
    if (!child) return;
    RECT r;
    GetClientRect(frame, &r);
    MoveWindow(child, 0, 0, r.right, r.bottom, TRUE);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_SIZE:
        FitChild(hwnd);
        return 0;
    case WM_SHOWWINDOW:
        if (wParam) FitChild(hwnd);
        break;
    case WM_CLOSE:
        // The close box asks the content; a frame without one just hides.
        if (HWND child = GetWindow(hwnd, GW_CHILD))
            SendMessageA(child, WM_CLOSE, 0, 0);
        else
            ShowWindow(hwnd, SW_HIDE);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void RegisterFrameClass() {
    static bool done = false;
    if (done) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(kFrameBackground); // lives with the class
    wc.lpszClassName = kFrameClassName;
    RegisterClassExA(&wc);
    done = true;
}

void RegisterEditorClass(WNDPROC proc) {
    static bool done = false;
    if (done) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kEditorClassName;
    RegisterClassExA(&wc);
    done = true;
}

void Fill(HDC dc, int x, int y, int w, int h, COLORREF c) {
    const RECT r{x, y, x + w, y + h};
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

// A bevelled box: light top and left edge, shadow bottom and right edge.
void Bevel(HDC dc, int x, int y, int w, int h, COLORREF face, COLORREF light, COLORREF shadow) {
    Fill(dc, x, y, w, h, face);
    Fill(dc, x, y, w, 1, light);
    Fill(dc, x, y, 1, h, light);
    Fill(dc, x, y + h - 1, w, 1, shadow);
    Fill(dc, x + w - 1, y, 1, h, shadow);
}

// A small filled triangle pointing in `dir` (0 left, 1 right, 2 up, 3 down)
// in the middle of a 14 x 14 cell.
void Arrow(HDC dc, int x, int y, int dir, COLORREF c) {
    for (int i = 0; i < 4; ++i) {
        const int len = 1 + 2 * i;
        switch (dir) {
        case 0:
            Fill(dc, x + 5 + i, y + 7 - i, 1, len, c);
            break;
        case 1:
            Fill(dc, x + 8 - i, y + 7 - i, 1, len, c);
            break;
        case 2:
            Fill(dc, x + 7 - i, y + 5 + i, len, 1, c);
            break;
        default:
            Fill(dc, x + 7 - i, y + 8 - i, len, 1, c);
            break;
        }
    }
}

} // namespace

SkinSpec SkinSpec::Default() {
    SkinSpec s{};
    const COLORREF colors[kColors] = {
        RGB(16, 20, 32),    RGB(0, 224, 96),    RGB(40, 40, 60),    RGB(232, 236, 240),
        RGB(255, 224, 160), RGB(128, 144, 176), RGB(0, 0, 176),     RGB(64, 64, 104),
        RGB(250, 250, 250), RGB(112, 112, 168), RGB(32, 32, 56),    RGB(16, 16, 28),
        RGB(32, 32, 52),    RGB(48, 48, 72),    RGB(64, 64, 88),    RGB(112, 128, 144),
        RGB(80, 88, 104),   RGB(36, 36, 56),    RGB(255, 255, 255), RGB(0, 48, 128),
        RGB(255, 255, 254), RGB(40, 60, 120),
    };
    std::copy(std::begin(colors), std::end(colors), s.colors);
    s.reference = RGB(255, 0, 255);
    s.buttonFace = RGB(72, 80, 112);
    s.buttonLight = RGB(160, 168, 200);
    s.buttonShadow = RGB(16, 16, 32);
    s.buttonPressedFace = RGB(48, 52, 80);
    return s;
}

HBITMAP PlayerEmulator::CreateSkinBitmap(const SkinSpec& spec) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, SkinSpec::kWidth, SkinSpec::kHeight);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);

    Fill(dc, 0, 0, SkinSpec::kWidth, SkinSpec::kHeight, RGB(90, 90, 90));
    // Buttons, normal and pressed.
    Bevel(dc, 0, 0, 47, 15, spec.buttonFace, spec.buttonLight, spec.buttonShadow);
    Bevel(dc, 0, 15, 47, 15, spec.buttonPressedFace, spec.buttonShadow, spec.buttonLight);
    // Scroll-bar arrows: vertical at y 31, horizontal at y 45; normal at x 0
    // and 14, pressed at 28 and 42.
    for (int pressed = 0; pressed < 2; ++pressed) {
        const COLORREF light = pressed ? spec.buttonShadow : spec.buttonLight;
        const COLORREF shadow = pressed ? spec.buttonLight : spec.buttonShadow;
        const COLORREF face = pressed ? spec.buttonPressedFace : spec.buttonFace;
        for (int second = 0; second < 2; ++second) {
            const int x = 28 * pressed + 14 * second;
            Bevel(dc, x, 31, 14, 14, face, light, shadow);
            Arrow(dc, x, 31, second ? 3 : 2, spec.colors[1]);
            Bevel(dc, x, 45, 14, 14, face, light, shadow);
            Arrow(dc, x, 45, second ? 1 : 0, spec.colors[1]);
        }
    }
    // Thumb pieces: vertical normal and pressed at x 56 and 70, horizontal
    // normal and pressed at y 31 and 45 from x 84.
    Bevel(dc, 56, 31, 14, 28, spec.buttonFace, spec.buttonLight, spec.buttonShadow);
    Bevel(dc, 70, 31, 14, 28, spec.buttonPressedFace, spec.buttonShadow, spec.buttonLight);
    Bevel(dc, 84, 31, 28, 14, spec.buttonFace, spec.buttonLight, spec.buttonShadow);
    Bevel(dc, 84, 45, 28, 14, spec.buttonPressedFace, spec.buttonShadow, spec.buttonLight);
    // The colour row.
    for (int i = 0; i < SkinSpec::kColors; ++i)
        SetPixelV(dc, 48 + 2 * i, 0, spec.colors[i]);
    SetPixelV(dc, 111, 0, spec.reference);

    SelectObject(dc, old);
    DeleteDC(dc);
    return bitmap;
}

HWND PlayerEmulator::MakeFrame(embedWindowState* state) {
    RegisterFrameClass();
    const RECT& r = state->r;
    const bool placed = r.right > r.left && r.bottom > r.top;
    HWND frame = CreateWindowExA(
        WS_EX_TOOLWINDOW, kFrameClassName, "",
        WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, placed ? r.left : 580,
        placed ? r.top : 40, placed ? r.right - r.left : 420, placed ? r.bottom - r.top : 330,
        main_, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!frame) return nullptr;
    state->me = frame;
    lastFrameState = state;
    frames.push_back(frame);
    return frame;
}

void PlayerEmulator::DestroyFrames() {
    for (HWND f : frames)
        if (IsWindow(f)) DestroyWindow(f);
}

PlayerEmulator::PlayerEmulator(Options options) {
    RegisterMainClass();
    menuBar_ = CreateMenu();
    if (options.fileMenu != FileMenu::None) {
        fileMenu_ = CreatePopupMenu();
        AppendMenuA(fileMenu_, MF_STRING, 40029, "Play file...");
        AppendMenuA(fileMenu_, MF_STRING, 40155, "Play URL...");
        if (options.fileMenu == FileMenu::WithSeparator)
            AppendMenuA(fileMenu_, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(fileMenu_, MF_STRING, 40012, "Preferences...");
        if (options.fileMenu == FileMenu::WithSeparator)
            AppendMenuA(fileMenu_, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(fileMenu_, MF_STRING, 40001, "Exit");
        AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu_), "&File");
    }
    main_ = CreateWindowExA(0, kClassName, "Winamp", WS_OVERLAPPEDWINDOW, 40, 40, 520, 360, nullptr,
                            menuBar_, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(main_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(main_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PlayerEmulator::WndProc));
    RegisterEditorClass(&PlayerEmulator::EditorProc);
    editor_ = CreateWindowExA(WS_EX_TOOLWINDOW, kEditorClassName, "Playlist Editor", WS_POPUP, 0, 0,
                              275, 116, main_, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(editor_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (options.visible) {
        ShowWindow(main_, SW_SHOWNORMAL);
        UpdateWindow(main_);
    }
}

PlayerEmulator::~PlayerEmulator() {
    StopPlayback();
    for (const InputPlugin& p : inputs_) {
        p.module->Quit();
        FreeLibrary(p.dll);
    }
    DestroyFrames();
    if (editor_) SetWindowLongPtrA(editor_, GWLP_USERDATA, 0);
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

In_Module* PlayerEmulator::LoadInputPlugin(const char* dll) {
    HMODULE module = LoadLibraryA(dll);
    if (!module) return nullptr;
    auto get = reinterpret_cast<winampGetInModule2Fn>(
        reinterpret_cast<void*>(GetProcAddress(module, "winampGetInModule2")));
    In_Module* record = get ? get() : nullptr;
    if (!record) {
        FreeLibrary(module);
        return nullptr;
    }
    record->hMainWindow = main_;
    record->hDllInstance = module;
    output_.Attach(record);
    record->Init();
    inputs_.push_back({module, record});
    return record;
}

// The player offers a file to every input plug-in; the first that claims it
// plays it.
In_Module* PlayerEmulator::Claimant(const std::string& file) {
    std::string name = file; // the plug-ins take a char*
    for (const InputPlugin& p : inputs_)
        if (p.module->IsOurFile(name.data())) return p.module;
    return nullptr;
}

std::string PlayerEmulator::TitleOf(const std::string& file) {
    In_Module* module = Claimant(file);
    if (!module) return file;
    std::string name = file;
    char title[2048] = {};
    int length = 0;
    module->GetFileInfo(name.data(), title, &length);
    return title;
}

void PlayerEmulator::StopPlayback() {
    if (!playing_) return;
    playing_->Stop();
    playing_ = nullptr;
}

void PlayerEmulator::PlayCurrent() {
    StopPlayback();
    if (position < 0 || static_cast<size_t>(position) >= playlist.size()) return;
    playingFile_ = playlist[static_cast<size_t>(position)].file;
    In_Module* module = Claimant(playingFile_);
    if (!module) return;
    played.push_back(playingFile_);
    output_.Attach(module); // a test's own output may have taken the shared functions
    if (module->Play(playingFile_.data()) == 0) playing_ = module;
}

LRESULT PlayerEmulator::OnPlayFile(const COPYDATASTRUCT* copy) {
    if (!copy || copy->dwData != wa::IPC_PLAYFILE || !copy->lpData) return FALSE;
    const char* text = static_cast<const char*>(copy->lpData);
    const std::string file(text, std::find(text, text + copy->cbData, '\0'));
    playlist.push_back({file, TitleOf(file)});
    return TRUE;
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

UINT PlayerEmulator::FileMenuId(int pos) const {
    return GetMenuItemID(fileMenu_, pos);
}

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
    case wa::IPC_GETWND:
        return data == wa::IPC_GETWND_PE ? reinterpret_cast<LRESULT>(editor_) : 0;
    case wa::IPC_GET_HMENU:
        return data == 1 ? reinterpret_cast<LRESULT>(fileMenu_) : 0;
    case wa::IPC_GET_GENSKINBITMAP:
        switch (data) {
        case 0:
            skinBitmaps.push_back(CreateSkinBitmap(skin));
            return reinterpret_cast<LRESULT>(skinBitmaps.back());
        case 1:
            return reinterpret_cast<LRESULT>(fontFace.c_str());
        case 2:
            return fontCharset;
        case 3:
            return fontHeight;
        }
        return 0;
    case wa::IPC_GET_EMBEDIF:
        if (refuseFrames || !data) return 0;
        return reinterpret_cast<LRESULT>(MakeFrame(reinterpret_cast<embedWindowState*>(data)));
    }
    return 0;
}

LRESULT CALLBACK PlayerEmulator::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PlayerEmulator*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
    self->received.push_back({msg, wParam, lParam});
    switch (msg) {
    case wa::WM_WA_IPC:
        return self->OnIpc(wParam, lParam);
    case WM_COPYDATA:
        return self->OnPlayFile(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case wa::WM_WA_MPEG_EOF:
        // At a track's end the player stops it (and would go on to the next).
        self->StopPlayback();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == wa::CMD_PLAY) {
            self->PlayCurrent();
            return 0;
        }
        if (LOWORD(wParam) == kCmdStop) {
            self->StopPlayback();
            return 0;
        }
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK PlayerEmulator::EditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PlayerEmulator*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == WM_COMMAND) {
        self->editorCommands.push_back(LOWORD(wParam));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}
