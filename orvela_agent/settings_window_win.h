// The agent's settings window, opened from the icon's menu: who may listen
// (and the computers allowed, each removable), the sound to share (what
// this computer plays, or one of the recording devices the system lists),
// the quality and whether the playlist is shared. Every change applies at
// once; the agent saves it in the user's settings file.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "agent/agent_settings.h"
#include "agent/tray_menu.h"

class SettingsWindow {
  public:
    using Apply = std::function<void(const agent::AgentSettings&)>;
    using Remove = std::function<void(const agent::AllowedComputer&)>;

    // Opens the window, or brings it to the front when it is open.
    // `settings`: what holds now; `where`: the file the changes go to.
    void Open(HINSTANCE instance, const agent::AgentSettings& settings, const std::string& where,
              Apply apply, Remove remove);
    // The allowed computers, shown again when they changed.
    void ShowAllowed(const std::vector<agent::TrayComputer>& allowed);
    // The dialog's keyboard handling, for the message loop.
    bool Handles(MSG& m) { return window_ && IsDialogMessageA(window_, &m); }
    void Close();

  private:
    static INT_PTR CALLBACK Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    void Fill();
    void FillAllowed();
    void OnCommand(int id, int code);
    void EnableAllowed();

    HWND window_ = nullptr;
    agent::AgentSettings settings_;
    std::vector<agent::TrayComputer> allowed_;
    std::string where_;
    std::vector<std::string> devices_; // the source list's entries after the output
    Apply apply_;
    Remove remove_;
};
