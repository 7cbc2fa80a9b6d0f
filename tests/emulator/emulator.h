// The player emulator: hosts the plug-in DLLs exactly as the player does and
// answers the IPC messages they use. Tests script its playlist and read what
// reached the player's own window procedure, its playlist editor and its
// output module.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sdk/winamp.h"
#include "tests/emulator/output_module.h"

struct PlaylistEntry {
    std::string file;
    std::string title;
};

// The player's general skin bitmap, as IPC_GET_GENSKINBITMAP hands it out:
// the colour pixels at (48 + 2i, 0), the reference pixel at (111, 0), the
// button image at (0, 0) and its pressed form at (0, 15) (47 x 15 each), the
// scroll-bar arrows and thumb pieces at y 31 to 58.
struct SkinSpec {
    static constexpr int kWidth = 275;
    static constexpr int kHeight = 116;
    static constexpr int kColors = 22;
    COLORREF colors[kColors];
    COLORREF reference;
    // The button image: face, its top and left edge, its bottom and right
    // edge. The pressed image swaps the edges and has its own face.
    COLORREF buttonFace, buttonLight, buttonShadow, buttonPressedFace;

    static SkinSpec Default();
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

    // Loads an input plug-in as the player does: record from its export,
    // windows and the output module filled in, then Init. Several may be
    // loaded; the destructor stops, quits and unloads them. Null when the
    // DLL or its export is missing.
    In_Module* LoadInputPlugin(const char* dll);
    // The title the player shows for a file: what the first loaded input
    // plug-in that claims it names it, else the file name.
    std::string TitleOf(const std::string& file);
    // Stops the playing input plug-in, as the Stop button does (40047).
    void StopPlayback();
    bool Playing() const { return playing_ != nullptr; }
    // The player's one output module, shared by every input plug-in.
    RecordingOutput& Output() { return output_; }
    // Files that the Play button (40045) handed to an input plug-in, in order.
    std::vector<std::string> played;

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

    // The skin that the next IPC_GET_GENSKINBITMAP hands out, and its font
    // (data 1, 2 and 3).
    SkinSpec skin = SkinSpec::Default();
    std::string fontFace = "Arial";
    int fontCharset = ANSI_CHARSET;
    int fontHeight = 11;
    // Every skin bitmap handed out, newest last. Each is the caller's: the
    // player makes a new one for every request.
    std::vector<HBITMAP> skinBitmaps;
    static HBITMAP CreateSkinBitmap(const SkinSpec& spec);

    // IPC_GET_EMBEDIF: a framed top-level window owned by the main window,
    // hidden until shown, that keeps its child sized to its client area and
    // hands its close box to that child. With refuseFrames the player makes
    // none and answers 0.
    bool refuseFrames = false;
    std::vector<HWND> frames; // every frame made, in order
    HWND Frame() const { return frames.empty() ? nullptr : frames.back(); }
    embedWindowState* lastFrameState = nullptr;
    // Destroys the frames, as the player does at exit (with their children).
    void DestroyFrames();

    // The scriptable playlist.
    std::vector<PlaylistEntry> playlist;
    int position = 0;

    // The playlist editor (IPC_GETWND_PE): a hidden window that records the
    // identifier of every WM_COMMAND it receives, in order.
    HWND EditorWindow() const { return editor_; }
    std::vector<int> editorCommands;

    // Every message that reached the player's own procedure, in order.
    std::vector<ReceivedMessage> received;
    size_t CountReceived(UINT msg, WPARAM wParam) const;

    // Texts of the File menu's items, separators as "-".
    std::vector<std::string> FileMenuTexts() const;
    // Command id of the File menu item at a position.
    UINT FileMenuId(int pos) const;

  private:
    struct InputPlugin {
        HMODULE dll;
        In_Module* module;
    };

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnIpc(WPARAM data, LPARAM ipc);
    LRESULT OnPlayFile(const COPYDATASTRUCT* copy);
    void PlayCurrent();
    In_Module* Claimant(const std::string& file);
    HWND MakeFrame(embedWindowState* state);

    HWND main_ = nullptr;
    HWND editor_ = nullptr; // owned by main_
    HMENU menuBar_ = nullptr;
    HMENU fileMenu_ = nullptr; // owned by menuBar_ when it exists
    HMODULE general_ = nullptr;
    winampGeneralPurposePlugin* generalRecord_ = nullptr;
    std::vector<InputPlugin> inputs_;
    RecordingOutput output_;
    In_Module* playing_ = nullptr; // one of inputs_
    std::string playingFile_;      // Play got a char* into it
};
