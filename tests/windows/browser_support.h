// Helpers of the browser's Windows tests: the settings file beside the test
// program, the browser's windows inside the player's frame, and a script
// that drives a modal dialog from inside its own message loop.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "base/file_bytes.h"
#include "tests/emulator/emulator.h"
#include "tests/emulator/menu_script.h"

namespace browser_test {

// "<directory of this program>\Plugins", where the plug-in keeps its file.
inline std::string PluginsDir() {
    char name[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, name, MAX_PATH);
    std::string dir(name);
    return dir.substr(0, dir.rfind('\\')) + "\\Plugins";
}
inline std::string SettingsPath() {
    return PluginsDir() + "\\gen_orvela.ini";
}

inline void RemoveSettings() {
    const std::string dir = PluginsDir(), file = SettingsPath();
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(file.c_str());
    RemoveDirectoryA(file.c_str());
    // A test of an unwritable location leaves a file where the folder goes.
    const DWORD a = GetFileAttributesA(dir.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(dir.c_str());
    }
    // Gone when empty, so a later test without a folder writes nothing.
    RemoveDirectoryA(dir.c_str());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_EQ(written, bytes.size());
}

inline std::string ReadFileBytes(const std::string& path) {
    const std::vector<uint8_t> bytes = FileBytes(path);
    return {bytes.begin(), bytes.end()};
}

// A fresh Plugins folder, with the settings file holding `content` unless
// it is null.
inline void ResetSettings(const char* content = nullptr) {
    RemoveSettings();
    CreateDirectoryA(PluginsDir().c_str(), nullptr);
    if (content) WriteFileBytes(SettingsPath(), content);
}

// One value of the file as the profile calls read it; "<absent>" when missing.
inline std::string Setting(const char* section, const char* key) {
    char value[70000] = {};
    GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, SettingsPath().c_str());
    return value;
}

inline std::string WindowText(HWND w) {
    char text[512] = {};
    GetWindowTextA(w, text, sizeof text);
    return text;
}

inline std::string ClassOf(HWND w) {
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    return name;
}

// The dialogs (class "#32770") among a window's children.
inline std::vector<HWND> DialogChildren(HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (ClassOf(c) == "#32770") out.push_back(c);
    return out;
}

// A child's rectangle in its parent's client coordinates.
inline RECT RectIn(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

struct Column {
    std::string title;
    int width;
    std::string key; // the header item's tag
    bool operator==(const Column&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Column& c) {
    return os << "{" << c.title << ", " << c.width << ", " << c.key << "}";
}

// The list's columns in display order (what the user sees left to right).
inline std::vector<Column> ShownColumns(HWND list) {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    const int n = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    std::vector<int> order(n > 0 ? n : 0);
    if (n > 0)
        SendMessageA(list, LVM_GETCOLUMNORDERARRAY, n, reinterpret_cast<LPARAM>(order.data()));
    std::vector<Column> out;
    for (int index : order) {
        char text[128] = {};
        HDITEMA item{};
        item.mask = HDI_TEXT | HDI_WIDTH | HDI_LPARAM;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(header, HDM_GETITEMA, index, reinterpret_cast<LPARAM>(&item));
        // The tag is a zero-filled block holding the column's key.
        const char* key = reinterpret_cast<const char*>(item.lParam);
        out.push_back({text, item.cxy, key ? key : "<none>"});
    }
    return out;
}

inline std::string CellText(HWND list, int row, int subItem) {
    char text[300] = {};
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

// The texts of one row, sub-item 0 upwards, for every column of the list.
inline std::vector<std::string> RowTexts(HWND list, int row) {
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    const int n = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(CellText(list, row, i));
    return out;
}

// A message box as the user reads it, closed with its OK button: a step of
// a ModalScript.
struct Box {
    std::string caption, text;
    ModalScript::Step Answer() {
        return [this](HWND box) {
            caption = WindowText(box);
            text = WindowText(GetDlgItem(box, 0xFFFF)); // the box's static text
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        };
    }
};

} // namespace browser_test
