#include "orvela_agent/settings_window_win.h"

#include <string>

#include "agent/capture_win.h"
#include "agent/sound_source.h"
#include "codec/ima_adpcm.h"
#include "orvela_agent/resource.h"

namespace {

using namespace agent;

constexpr char kOutput[] = "What this computer plays";

std::string QualityName(int code) {
    const codec::AudioFormat* f = codec::FindAudioFormat(code);
    if (!f) return {};
    return std::to_string(f->sampleRate) + " Hz, " + (f->channels == 2 ? "stereo" : "mono");
}

void AddItem(HWND combo, const std::string& text) {
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

} // namespace

void SettingsWindow::Open(HINSTANCE instance, const AgentSettings& settings,
                          const std::string& where, Apply apply, Remove remove) {
    if (window_) {
        ShowWindow(window_, SW_RESTORE);
        SetForegroundWindow(window_);
        return;
    }
    settings_ = settings;
    where_ = where;
    apply_ = std::move(apply);
    remove_ = std::move(remove);
    window_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, &Proc,
                                 reinterpret_cast<LPARAM>(this));
    if (!window_) {
        OutputDebugStringA("orvela_agent: the settings window could not be opened\n");
        return;
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
}

void SettingsWindow::Close() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
}

INT_PTR CALLBACK SettingsWindow::Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<SettingsWindow*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        self = reinterpret_cast<SettingsWindow*>(lParam);
        self->window_ = window;
        self->Fill();
        return TRUE;
    case WM_COMMAND:
        if (self) self->OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        if (self) self->Close();
        return TRUE;
    default:
        return FALSE;
    }
}

void SettingsWindow::Fill() {
    const int mode = settings_.listening == ListeningMode::All   ? IDC_LISTEN_ALL
                     : settings_.listening == ListeningMode::Ask ? IDC_LISTEN_ASK
                                                                 : IDC_LISTEN_OFF;
    CheckRadioButton(window_, IDC_LISTEN_ALL, IDC_LISTEN_OFF, mode);

    HWND source = GetDlgItem(window_, IDC_SOURCE);
    devices_ = RecordingDeviceNames();
    size_t chosen = 0; // the output
    bool missing = false;
    if (!IsOutputLoopback(settings_.soundSource)) {
        while (chosen < devices_.size() && !IsNamedDevice(settings_.soundSource, devices_[chosen]))
            ++chosen;
        // Chosen before and not connected now: kept, and said so.
        missing = chosen == devices_.size();
        if (missing) devices_.push_back(settings_.soundSource);
        ++chosen;
    }
    AddItem(source, kOutput);
    for (size_t i = 0; i < devices_.size(); ++i)
        AddItem(source,
                devices_[i] + (missing && i + 1 == devices_.size() ? " (not connected)" : ""));
    SendMessageA(source, CB_SETCURSEL, chosen, 0);

    HWND quality = GetDlgItem(window_, IDC_QUALITY);
    for (int code = wire::kMinFormatCode; code <= wire::kMaxFormatCode; ++code)
        AddItem(quality, QualityName(code));
    SendMessageA(quality, CB_SETCURSEL, settings_.streamFormat - wire::kMinFormatCode, 0);
    CheckDlgButton(window_, IDC_PLAYLIST, settings_.grantPlaylist ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(window_, IDC_WHERE, ("Your settings are saved in " + where_).c_str());
    FillAllowed();
}

void SettingsWindow::ShowAllowed(const std::vector<TrayComputer>& allowed) {
    if (allowed == allowed_) return; // the user's selection stays
    allowed_ = allowed;
    if (window_) FillAllowed();
}

void SettingsWindow::FillAllowed() {
    HWND list = GetDlgItem(window_, IDC_ALLOWED);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const TrayComputer& c : allowed_)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.label.c_str()));
    EnableAllowed();
}

void SettingsWindow::EnableAllowed() {
    const bool asking = settings_.listening == ListeningMode::Ask;
    HWND list = GetDlgItem(window_, IDC_ALLOWED);
    EnableWindow(list, asking);
    EnableWindow(GetDlgItem(window_, IDC_REMOVE),
                 asking && SendMessageA(list, LB_GETCURSEL, 0, 0) != LB_ERR);
}

void SettingsWindow::OnCommand(int id, int code) {
    AgentSettings chosen = settings_;
    switch (id) {
    case IDCANCEL:
        Close();
        return;
    case IDC_LISTEN_ALL:
    case IDC_LISTEN_ASK:
    case IDC_LISTEN_OFF:
        if (code != BN_CLICKED) return;
        chosen.listening = id == IDC_LISTEN_ALL   ? ListeningMode::All
                           : id == IDC_LISTEN_ASK ? ListeningMode::Ask
                                                  : ListeningMode::Off;
        break;
    case IDC_PLAYLIST:
        if (code != BN_CLICKED) return;
        chosen.grantPlaylist = IsDlgButtonChecked(window_, IDC_PLAYLIST) == BST_CHECKED;
        break;
    case IDC_SOURCE: {
        if (code != CBN_SELCHANGE) return;
        const LRESULT i = SendDlgItemMessageA(window_, IDC_SOURCE, CB_GETCURSEL, 0, 0);
        if (i < 0 || static_cast<size_t>(i) > devices_.size()) return;
        chosen.soundSource = i == 0 ? std::string() : devices_[i - 1];
        break;
    }
    case IDC_QUALITY: {
        if (code != CBN_SELCHANGE) return;
        const LRESULT i = SendDlgItemMessageA(window_, IDC_QUALITY, CB_GETCURSEL, 0, 0);
        if (i < 0 || i > wire::kMaxFormatCode - wire::kMinFormatCode) return;
        chosen.streamFormat = static_cast<int>(i) + wire::kMinFormatCode;
        break;
    }
    case IDC_ALLOWED:
        if (code == LBN_SELCHANGE) EnableAllowed();
        return;
    case IDC_REMOVE: {
        const LRESULT i = SendDlgItemMessageA(window_, IDC_ALLOWED, LB_GETCURSEL, 0, 0);
        if (i >= 0 && static_cast<size_t>(i) < allowed_.size())
            remove_({allowed_[i].name, allowed_[i].address});
        return; // the list is shown again once the agent took it off
    }
    default:
        return;
    }
    if (chosen == settings_) return;
    settings_ = chosen;
    EnableAllowed();
    apply_(settings_);
}
