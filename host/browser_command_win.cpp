// The browser window is not built yet: the command only reaches the player.
#include "host/plugin_win.h"

void OnBrowserCommand(HWND) {}
