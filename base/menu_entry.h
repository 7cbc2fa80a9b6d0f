// One entry of a pop-up menu as data: the browser's context menus and the
// agent's tray menu are built from lists of these by their shells.
#pragma once

#include <string>

struct MenuEntry {
    unsigned id = 0;
    std::string text;
    bool greyed = false;
    bool separator = false;
};
