// The general-purpose plug-in: its record, start and stop, and the hook on
// the player's main window that dispatches the menu command, the now-playing
// timer and the agent's playlist request.
#include <windows.h>

#include "browser/wnd_win.h"
#include "gen_orvela/plugin_win.h"
#include "player/nowplaying_win.h"
#include "scrollskin/scrollskin_win.h"
#include "sdk/winamp.h"
#include "wire/protocol.h"

namespace {

constexpr UINT kBrowserCommandId = 1;
constexpr UINT_PTR ORVELA_TIMER_ID = 6024;
constexpr UINT kTimerPeriodMs = 3000;
constexpr char kMenuText[] = "Local network...";

int WA_CDECL Init();
void WA_CDECL Config() {}
void WA_CDECL Quit();

winampGeneralPurposePlugin g_plugin = {
    GPPHDR_VER, const_cast<char*>("Orvela v1.00"), Init, Config, Quit, nullptr, nullptr,
};

WNDPROC g_playerProc = nullptr; // the player's own procedure, called for what we pass on

// The block, and the player's window written into it as soon as it opens: at
// every init, or at a later tick when it could not be opened then (the agent
// may hold a block we may not use until it ends).
NowPlayingBlock* g_block = nullptr;
NowPlayingBlock* Block(HWND player) {
    if (!g_block && (g_block = OpenBlock()) != nullptr)
        g_block->hwndPlayer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(player));
    return g_block;
}

void InsertMenuItemAfterFirstSeparator(HMENU menu) {
    static_assert(sizeof(void*) != 4 || sizeof(MENUITEMINFOA) == 48);
    // The count is asked again for every item: the player may own a live menu.
    for (int pos = 0; pos < GetMenuItemCount(menu); ++pos) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        if (!GetMenuItemInfoA(menu, pos, TRUE, &info) || !(info.fType & MFT_SEPARATOR)) continue;

        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_TYPE;
        item.fType = MFT_STRING;
        item.wID = kBrowserCommandId;
        item.dwTypeData = const_cast<char*>(kMenuText);
        item.cch = sizeof kMenuText - 1;
        InsertMenuItemA(menu, pos + 1, TRUE, &item);
        return;
    }
}

LRESULT CALLBACK HookProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind into the player: a failure (the playlist export
    // allocates) answers as if the block were left alone.
    try {
        WindowPlayerIpc player(hwnd);
        switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kBrowserCommandId) OnBrowserCommand(hwnd);
            break; // the player sees its command too
        case WM_TIMER:
            if (wParam == ORVELA_TIMER_ID) {
                UpdateNowPlaying(Block(hwnd), player);
                return 0;
            }
            break;
        case wire::ORVELA_PLAYLIST_REQUEST:
            return ExportPlaylist(Block(hwnd), player);
        }
    } catch (...) {
        if (msg == wire::ORVELA_PLAYLIST_REQUEST) return 0;
        if (msg == WM_TIMER && wParam == ORVELA_TIMER_ID) return 0;
    }
    return CallWindowProcA(g_playerProc, hwnd, msg, wParam, lParam);
}

// A player run as administrator is a window of higher integrity than this
// computer's agent, and Windows drops messages above WM_USER sent to it from
// below unless the window lets them through. Windows before 7 lacks the call.
static void AllowPlaylistRequestThrough(HWND player) {
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    const auto allow = reinterpret_cast<Filter>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "ChangeWindowMessageFilterEx")));
    constexpr DWORD kAllow = 1; // MSGFLT_ALLOW
    if (allow && !allow(player, wire::ORVELA_PLAYLIST_REQUEST, kAllow, nullptr))
        OutputDebugStringA("Orvela: the playlist request could not be let through to the player\n");
}

int WA_CDECL Init() {
    ScrollSkinInstall();
    HWND player = g_plugin.hwndParent;
    SetModuleInstance(g_plugin.hDllInstance);

    g_block = nullptr;
    Block(player);

    HMENU fileMenu =
        reinterpret_cast<HMENU>(SendMessageA(player, wa::WM_WA_IPC, 1, wa::IPC_GET_HMENU));
    if (fileMenu) InsertMenuItemAfterFirstSeparator(fileMenu);

    g_playerProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(player, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HookProc)));
    AllowPlaylistRequestThrough(player);
    SetTimer(player, ORVELA_TIMER_ID, kTimerPeriodMs, nullptr);
    return 0;
}

void WA_CDECL Quit() {
    ScrollSkinRemove();
    HWND player = g_plugin.hwndParent;
    KillTimer(player, ORVELA_TIMER_ID);
    // A host may unload us while its window still gets messages. Ours is put
    // back when it is still the installed procedure; when another plug-in
    // hooked the window after us, its procedure calls ours, so this module
    // stays loaded for the life of the process. The menu item and the block
    // stay until the host ends.
    if (!player || !IsWindow(player)) return;
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(player, GWLP_WNDPROC)) == HookProc) {
        SetWindowLongPtrA(player, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_playerProc));
    } else {
        HMODULE self = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(&HookProc), &self);
    }
}

} // namespace

extern "C" winampGeneralPurposePlugin* WA_CDECL winampGetGeneralPurposePlugin() {
    return &g_plugin;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
