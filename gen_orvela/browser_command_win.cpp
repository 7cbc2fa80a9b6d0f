// "Local network...": the first choice creates the browser inside a frame
// that the player provides; later ones show the frame again.
#include "gen_orvela/plugin_win.h"

#include "browser/browser_win.h"
#include "browser/resource.h"
#include "sdk/winamp.h"

namespace {

// Both live until the process ends: the player keeps using the state of the
// frame it made, and the browser is never destroyed by the plug-in.
embedWindowState g_frameState;
CDialogBrowser* g_browser = nullptr;

} // namespace

void OnBrowserCommand(HWND player) {
    try {
        if (!g_browser) {
            g_frameState = embedWindowState{};
            auto frame = reinterpret_cast<HWND>(
                SendMessageA(player, wa::WM_WA_IPC, reinterpret_cast<WPARAM>(&g_frameState),
                             wa::IPC_GET_EMBEDIF));
            // No frame: nothing happens, and the next command asks again.
            if (!frame || !IsWindow(frame)) return;
            g_browser = new CDialogBrowser(player);
            const CWndObject parent(frame);
            g_browser->createModeless(IDD_BROWSER, &parent);
            ShowWindow(frame, SW_SHOWNORMAL);
        } else if (!g_browser->shown) {
            ShowWindow(g_frameState.me, SW_SHOWNORMAL);
            g_browser->shown = 1;
        }
    } catch (...) {
        // Out of memory: the menu command still reaches the player.
    }
}
