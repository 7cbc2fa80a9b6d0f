// gen_orvela's entry: the plug-in record and the hook on the player's main
// window, which opens the browser from the menu command.
#pragma once

#include <windows.h>

// "Local network..." was chosen: create the browser on first use, else show it.
void OnBrowserCommand(HWND player);
