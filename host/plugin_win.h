// Process-wide state of gen_orvela shared by the host and the browser window.
#pragma once

#include <windows.h>

// This module; dialogs, menus and accelerators are loaded from it.
extern HINSTANCE g_moduleInstance;
void SetModuleInstance(HINSTANCE instance);

// "Local network..." was chosen: create the browser on first use, else show it.
void OnBrowserCommand(HWND player);
