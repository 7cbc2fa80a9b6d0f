// The player emulator: hosts the plug-in DLLs exactly as the player does and
// answers the IPC messages they use. Tests script its playlist and read what
// reached the player's own window procedure.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sdk/winamp.h"

struct PlaylistEntry {
    std::string file;
    std::string title;
};

struct ReceivedMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

class PlayerEmulator {
public:
    enum class FileMenu { WithSeparator, WithoutSeparator, None };
    struct Options {
        FileMenu fileMenu = FileMenu::WithSeparator;
        bool visible = false;
    };

    PlayerEmulator() : PlayerEmulator(Options{}) {}
    explicit PlayerEmulator(Options options);
    ~PlayerEmulator();
    PlayerEmulator(const PlayerEmulator&) = delete;
    PlayerEmulator& operator=(const PlayerEmulator&) = delete;

    HWND MainWindow() const { return main_; }
    HMENU FileMenuHandle() const { return fileMenu_; }

    // Loads a general-purpose plug-in, fills its record and calls init, as
    // the player does at start. Null when the DLL or its export is missing.
    winampGeneralPurposePlugin* LoadGeneralPlugin(const char* dll);
    // Calls the loaded plug-in's quit, as the player does at exit.
    void QuitGeneralPlugin();

    // Dispatches messages for the given time (tests wait for timers this way).
    void Pump(DWORD ms);
    // Pumps until pred() holds or the time is up; answers pred().
    template <class Pred> bool PumpUntil(Pred pred, DWORD ms) {
        const DWORD start = GetTickCount();
        while (!pred()) {
            if (GetTickCount() - start >= ms) return false;
            Pump(10);
        }
        return true;
    }

    // The scriptable playlist.
    std::vector<PlaylistEntry> playlist;
    int position = 0;

    // Every message that reached the player's own procedure, in order.
    std::vector<ReceivedMessage> received;
    size_t CountReceived(UINT msg, WPARAM wParam) const;

    // Texts of the File menu's items, separators as "-".
    std::vector<std::string> FileMenuTexts() const;
    // Command id of the File menu item at a position.
    UINT FileMenuId(int pos) const;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnIpc(WPARAM data, LPARAM ipc);

    HWND main_ = nullptr;
    HMENU menuBar_ = nullptr;
    HMENU fileMenu_ = nullptr; // owned by menuBar_ when it exists
    HMODULE general_ = nullptr;
    winampGeneralPurposePlugin* generalRecord_ = nullptr;
};
