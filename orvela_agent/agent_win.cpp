// orvela_agent.exe: the program on every computer of the group that the
// plug-ins talk to. One instance per user's session, of which only the one
// at the screen shares the computer; no window but its settings, only an
// icon in the notification area whose notifications say who starts
// listening (or asks to), and whose menu shows who listens, allows or
// revokes computers and offers "Stop sharing sound", "Settings..." and
// "Exit". The network thread (worker_win.cpp) does the work; this thread
// keeps the icon, its menu, the settings window and the session's changes.
#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <windows.h>

#include <shellapi.h>
#include <wtsapi32.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/capture_win.h"
#include "agent/options.h"
#include "agent/screen_turn.h"
#include "agent/tray_menu.h"
#include "agent/user_settings_win.h"
#include "agent/wav_file.h"
#include "agent/worker_win.h"
#include "base/file_bytes.h"
#include "base/profile_win.h"
#include "base/text.h"
#include "orvela_agent/resource.h"
#include "orvela_agent/settings_window_win.h"
#include "player/nowplaying_win.h"

namespace {

using namespace agent;

constexpr char kWindowClass[] = "OrvelaAgent";
// One agent per session (the Local namespace is the session's own).
constexpr char kInstanceMutex[] = "Local\\OrvelaAgentInstance";
// Held by the one agent of this computer that shares it: the one whose
// session is at the screen. Every user's agent may open it.
constexpr char kTurnMutex[] = "Global\\OrvelaAgentSharing";
// Every user's agent may open and wait on these; medium integrity, so an
// elevated agent's do not shut out the others.
constexpr char kAnyUser[] = "D:(A;;GA;;;AU)(A;;GA;;;SY)S:(ML;;NW;;;ME)";
constexpr UINT WM_TRAY = WM_APP + 1;
constexpr UINT kIconId = 1;
constexpr UINT_PTR kExitTimer = 1;
constexpr UINT_PTR kIconTimer = 2;
constexpr UINT_PTR kSessionTimer = 3;
// At logon the session service may not take registrations yet.
constexpr UINT kSessionRetryMs = 3000;

// Exit codes, for whoever starts the agent from a script.
constexpr int kExitBadOptions = 2;
constexpr int kExitAlreadyRunning = 3;
constexpr int kExitNoNetwork = 4;

struct Agent {
    WinsockSession winsock; // first made, last ended: after the worker's sockets
    HINSTANCE instance = nullptr;
    AgentSettings settings; // as the settings window last chose them
    AgentOptions options;
    // The file beside the program (the installer's defaults) under the user's own.
    std::unique_ptr<PrivateProfileStore> programStore, userStore;
    std::unique_ptr<LayeredProfileStore> store;
    UniqueHandle turn;
    DWORD session = 0;
    ScreenTurn screen{0, 0};
    SettingsWindow settingsWindow;
    std::unique_ptr<SoundSource> source;
    std::unique_ptr<AgentWorker> worker;
    HWND window = nullptr;
    HWND lastNotice = nullptr; // a hidden child holding the last notification's text
    UINT taskbarCreated = 0;
    // What a click on the notification shown allows: only its own computer,
    // and nothing once another notification took its place or it went.
    AllowedComputer offered;
    TrayState menuShown; // what the last menu was built from: its commands mean that
    IconKeeper icon{0};
};
Agent* theAgent = nullptr;

void Trace(const std::string& text) {
    OutputDebugStringA(("orvela_agent: " + text + "\n").c_str());
}

bool ShowIcon(HWND window, DWORD action) {
    NOTIFYICONDATAA icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = kIconId;
    icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    icon.uCallbackMessage = WM_TRAY;
    // Shared: the icon is loaded again at every change of the tip.
    icon.hIcon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_AGENT), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    const AgentWorker* worker = theAgent->worker.get();
    TrayState state;
    state.mode = theAgent->settings.listening;
    if (worker) state = worker->State();
    const std::string tip = TrayTip(state);
    CopyFitted(icon.szTip, tip);
    // The hidden window's caption says the same, for anyone who cannot see
    // the notification area (tests, tools).
    SetWindowTextA(window, tip.c_str());
    // A shell without a notification area (or none yet) is no reason to stop.
    if (Shell_NotifyIconA(action, &icon)) return true;
    if (action != NIM_DELETE) Trace("the notification icon was not shown");
    return false;
}

// Adds the icon when an add is due (see IconKeeper).
void AddIcon(HWND window) {
    const DWORD now = GetTickCount();
    if (theAgent->icon.AddDue(now)) theAgent->icon.Added(ShowIcon(window, NIM_ADD), now);
}

// A change that failed means the shell lost the icon: it is added again.
bool ChangeIcon(HWND window, DWORD action, NOTIFYICONDATAA* info = nullptr) {
    if (info ? Shell_NotifyIconA(action, info) : ShowIcon(window, action)) return true;
    theAgent->icon.ChangeFailed(GetTickCount());
    AddIcon(window);
    return info ? Shell_NotifyIconA(action, info) != FALSE : false;
}

void ShowNotifications(HWND window) {
    for (const Notification& n : theAgent->worker->TakeNotifications()) {
        Trace(n.title + ": " + n.text);
        NOTIFYICONDATAA icon{};
        icon.cbSize = sizeof icon;
        icon.hWnd = window;
        icon.uID = kIconId;
        icon.uFlags = NIF_INFO;
        icon.dwInfoFlags = NIIF_INFO;
        // Cut at a word where the shell would cut mid-word.
        CopyFitted(icon.szInfoTitle, n.title);
        CopyFitted(icon.szInfo, n.text);
        theAgent->offered = n.offer;
        // Said once more where tests and tools read it: the hidden window's child.
        SetWindowTextA(theAgent->lastNotice, n.text.c_str());
        if (!ChangeIcon(window, NIM_MODIFY, &icon)) Trace("the notification was not shown");
    }
}

void ShowMenu(HWND window) {
    UniqueMenu menu(CreatePopupMenu());
    theAgent->menuShown = theAgent->worker->State();
    for (const MenuEntry& e : TrayMenuEntries(theAgent->menuShown)) {
        const UINT flags = e.separator ? MF_SEPARATOR : MF_STRING | (e.greyed ? MF_GRAYED : 0);
        AppendMenuA(menu.Get(), flags, e.id, e.text.c_str());
    }
    POINT at{};
    GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only if our window is
    // in front, and only after one more message once it is.
    SetForegroundWindow(window);
    const UINT command = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                        at.x, at.y, 0, window, nullptr);
    PostMessageA(window, WM_NULL, 0, 0);
    if (command) SendMessageA(window, WM_COMMAND, command, 0);
}

void OpenSettings() {
    Agent& a = *theAgent;
    a.settingsWindow.Open(
        a.instance, a.settings, a.store->Where(),
        [](const AgentSettings& chosen) {
            theAgent->settings = chosen;
            theAgent->worker->Configure(chosen);
        },
        [](const AllowedComputer& who) { theAgent->worker->Revoke(who); });
    a.settingsWindow.ShowAllowed(a.worker->State().allowed);
}

// Registers for this session's changes; until it can, tried again.
void WatchSessions(HWND window) {
    if (!WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION)) {
        SetTimer(window, kSessionTimer, kSessionRetryMs, nullptr);
        return;
    }
    KillTimer(window, kSessionTimer);
    // What changed before the registration went unheard: asked once more.
    theAgent->screen = ScreenTurn(theAgent->session, WTSGetActiveConsoleSessionId());
    theAgent->worker->SetAtScreen(theAgent->screen.AtScreen());
}

void OnCommand(HWND window, unsigned command) {
    AgentWorker* worker = theAgent->worker.get();
    if (command == kExitCommand) DestroyWindow(window);
    if (!worker) return;
    if (command == kSettingsCommand) OpenSettings();
    if (command == kStopSharingCommand) worker->StopSharing();
    if (command == kShareAgainCommand) worker->ShareAgain();
    // A row means the computer it showed, whatever asked since.
    if (const TrayComputer* c = CommandComputer(theAgent->menuShown, command)) {
        const AllowedComputer who{c->name, c->address};
        command < kRevokeCommand ? worker->Allow(who) : worker->Revoke(who);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    try {
        switch (msg) {
        case WM_TRAY:
            if (theAgent->worker &&
                (lParam == WM_RBUTTONUP || lParam == WM_LBUTTONUP || lParam == WM_CONTEXTMENU))
                ShowMenu(window);
            if (theAgent->worker && lParam == NIN_BALLOONUSERCLICK &&
                !theAgent->offered.name.empty())
                theAgent->worker->Allow(std::exchange(theAgent->offered, {}));
            if (lParam == NIN_BALLOONTIMEOUT || lParam == NIN_BALLOONHIDE) theAgent->offered = {};
            return 0;
        case WM_AGENT_LISTENERS:
            ChangeIcon(window, NIM_MODIFY);
            if (theAgent->worker) ShowNotifications(window);
            if (theAgent->worker)
                theAgent->settingsWindow.ShowAllowed(theAgent->worker->State().allowed);
            return 0;
        case WM_WTSSESSION_CHANGE:
            if (theAgent->worker && theAgent->screen.OnChange(static_cast<unsigned>(wParam),
                                                              static_cast<DWORD>(lParam)))
                theAgent->worker->SetAtScreen(theAgent->screen.AtScreen());
            return 0;
        case WM_COMMAND:
            OnCommand(window, LOWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kExitTimer) DestroyWindow(window);
            if (wParam == kIconTimer) AddIcon(window);
            if (wParam == kSessionTimer && theAgent->worker) WatchSessions(window);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_ENDSESSION:
            if (wParam) DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            // The listeners hear "CLOSE_STREAM" before the icon goes; Run
            // sees whether the thread ended.
            WTSUnRegisterSessionNotification(window);
            theAgent->settingsWindow.Close();
            if (theAgent->worker) theAgent->worker->Exit();
            ShowIcon(window, NIM_DELETE);
            PostQuitMessage(0);
            return 0;
        default:
            if (msg == theAgent->taskbarCreated && msg) {
                theAgent->icon.ChangeFailed(GetTickCount()); // the shell started again
                AddIcon(window);
                return 0;
            }
            return DefWindowProcA(window, msg, wParam, lParam);
        }
    } catch (...) {
        Trace("a window message failed");
        return 0;
    }
}

std::unique_ptr<SoundSource> MakeSource(const std::string& wav, const std::string& device) {
    if (wav.empty()) return std::make_unique<DeviceCapture>(device);
    const std::vector<uint8_t> bytes = FileBytes(wav);
    WavAudio audio;
    if (!ParseWav(bytes.data(), bytes.size(), audio)) return nullptr;
    return std::make_unique<WavSource>(std::move(audio));
}

int Run(HINSTANCE instance, Agent& agent) {
    agent.instance = instance;
    std::vector<std::string> args(__argv + 1, __argv + __argc);
    std::string error;
    if (!ParseAgentOptions(args, agent.options, error)) {
        Trace(error);
        return kExitBadOptions;
    }
    UniqueHandle instanceMutex(CreateMutexA(nullptr, FALSE, kInstanceMutex));
    if (const DWORD e = GetLastError(); e == ERROR_ALREADY_EXISTS || e == ERROR_ACCESS_DENIED) {
        Trace("an agent already runs in this session; this one leaves");
        return kExitAlreadyRunning;
    }
    // Every agent, in any session, holds this while it runs: the uninstaller
    // refuses while it exists.
    SddlSecurity anyUser(kAnyUser);
    UniqueHandle runningMark(CreateMutexA(anyUser.Get(), FALSE, "Global\\OrvelaAgentRunning"));
    agent.turn.Reset(CreateMutexA(anyUser.Get(), FALSE, kTurnMutex));
    if (!agent.turn)
        agent.turn.Reset(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kTurnMutex));
    if (!agent.turn) {
        // No other agent can be told apart from: this one shares alone.
        Trace("the computer's sharing turn cannot be opened");
        agent.turn.Reset(CreateMutexA(nullptr, FALSE, nullptr));
    }
    ProcessIdToSessionId(GetCurrentProcessId(), &agent.session);
    agent.screen = ScreenTurn(agent.session, WTSGetActiveConsoleSessionId());

    char program[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string programFile = n > 0 && n < MAX_PATH ? AgentSettingsPath(program) : "";
    agent.programStore = std::make_unique<PrivateProfileStore>(programFile);
    agent.userStore = std::make_unique<PrivateProfileStore>(PrepareUserSettings(programFile));
    agent.store = std::make_unique<LayeredProfileStore>(*agent.userStore, *agent.programStore);
    agent.settings = LoadAgentSettings(*agent.store);
    agent.source = MakeSource(agent.options.wav, agent.settings.soundSource);
    if (!agent.source) {
        Trace("not a WAV file the agent can play: " + agent.options.wav);
        return kExitBadOptions;
    }

    WNDCLASSA wc{};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);
    agent.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    // A hidden top-level window: it hears the shell's TaskbarCreated, which
    // a message-only window would not.
    // Its caption, the icon's tip, is set once the network thread has decided
    // whether it serves: until then it says the agent is starting.
    agent.window = CreateWindowExA(0, kWindowClass, "Orvela agent: starting", WS_POPUP, 0, 0, 0, 0,
                                   nullptr, nullptr, instance, nullptr);
    if (!agent.window) return kExitNoNetwork;
    agent.lastNotice = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 0, 0, agent.window, nullptr,
                                       instance, nullptr);

    if (!agent.winsock.Started()) return kExitNoNetwork;
    agent.worker = std::make_unique<AgentWorker>(agent.settings, agent.options, *agent.source,
                                                 *agent.store, agent.window, agent.turn.Get());
    if (const int failed = agent.worker->Start(agent.screen.AtScreen())) {
        // The one failure a user has to hear of: without its port the agent
        // cannot work at all.
        const std::string text = "The Orvela agent cannot take requests on UDP port " +
                                 std::to_string(agent.settings.requestPort) + " (error " +
                                 std::to_string(failed) +
                                 ").\nAnother program may use that port: choose another PORT "
                                 "in " +
                                 agent.store->Where() + ".";
        MessageBoxA(nullptr, text.c_str(), "Orvela agent", MB_OK | MB_ICONERROR);
        agent.worker.reset();
        DestroyWindow(agent.window);
        return kExitNoNetwork;
    }
    WatchSessions(agent.window);
    agent.icon = IconKeeper(GetTickCount());
    AddIcon(agent.window);
    SetTimer(agent.window, kIconTimer, IconKeeper::kRetryMs, nullptr);
    if (agent.options.exitAfterMs)
        SetTimer(agent.window, kExitTimer, agent.options.exitAfterMs, nullptr);

    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (agent.settingsWindow.Handles(m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    if (!agent.worker->Exit()) {
        // Its thread may still use the worker, the sound source, the
        // settings and the socket library: all stay until the process ends.
        (void)agent.worker.release();
        return -1;
    }
    agent.worker.reset();
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Freed only once the network thread has ended: until the process's end
    // otherwise.
    auto* agent = new Agent;
    theAgent = agent;
    int code = 1;
    try {
        code = Run(instance, *agent);
    } catch (...) {
        Trace("stopped by an unexpected failure");
    }
    if (code != -1) {
        theAgent = nullptr;
        delete agent;
    }
    // Ended here, not by returning: the runtime's exit would tear down what a
    // network thread that did not end may still use (the now-playing block's
    // mapping, the sound source).
    ExitProcess(code == -1 ? 0 : static_cast<UINT>(code));
}
