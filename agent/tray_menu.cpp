#include "agent/tray_menu.h"

#include "agent/lan.h"

namespace agent {

std::vector<MenuEntry> TrayMenuEntries(const TrayState& state) {
    std::vector<MenuEntry> entries;
    const auto last = [&] {
        entries.push_back({0, "", false, true});
        entries.push_back({kSettingsCommand, "Settings...", false, false});
        entries.push_back({kExitCommand, "Exit", false, false});
        return entries;
    };
    if (state.standby) {
        entries.push_back({0, "Shared by the session at the screen", true, false});
        return last();
    }
    if (state.mode == ListeningMode::Off) {
        // Nothing to stop or share: the settings decide, so say where.
        entries.push_back({0, "Listening is turned off in the settings", true, false});
        return last();
    }
    if (state.listening.empty())
        entries.push_back(
            {0, state.sharing ? "Nobody is listening" : "Sound is not shared", true, false});
    for (const TrayComputer& c : state.listening)
        entries.push_back({0, c.label + " is listening", true, false});
    entries.push_back({0, "", false, true});
    const size_t consents = entries.size();
    for (unsigned i = 0; i < state.offered.size(); ++i)
        entries.push_back({kAllowCommand + i, "Allow " + state.offered[i].label, false, false});
    if (state.mode == ListeningMode::Ask)
        for (unsigned i = 0; i < state.allowed.size(); ++i)
            entries.push_back(
                {kRevokeCommand + i, "Stop allowing " + state.allowed[i].label, false, false});
    if (entries.size() > consents) entries.push_back({0, "", false, true});
    if (state.sharing)
        entries.push_back({kStopSharingCommand, "Stop sharing sound", false, false});
    else
        entries.push_back({kShareAgainCommand, "Share sound again", false, false});
    entries.push_back({kSettingsCommand, "Settings...", false, false});
    entries.push_back({kExitCommand, "Exit", false, false});
    return entries;
}

const TrayComputer* CommandComputer(const TrayState& shown, unsigned command) {
    if (command >= kAllowCommand && command - kAllowCommand < shown.offered.size())
        return &shown.offered[command - kAllowCommand];
    if (command >= kRevokeCommand && command - kRevokeCommand < shown.allowed.size())
        return &shown.allowed[command - kRevokeCommand];
    return nullptr;
}

std::string TrayTip(const TrayState& state) {
    if (state.standby) return "Orvela agent: shared by the session at the screen";
    if (state.mode == ListeningMode::Off) return "Orvela agent: listening turned off";
    if (!state.sharing) return "Orvela agent: sound not shared";
    if (state.soundMissing) return "Orvela agent: this computer's sound cannot be captured";
    const size_t n = state.listening.size();
    if (n == 0) return "Orvela agent";
    return "Orvela agent: " + std::to_string(n) +
           (n == 1 ? " computer listens" : " computers listen");
}

std::string ListeningNotice(const std::string& label) {
    return label + " is listening to this computer";
}

std::string AskingNotice(const std::string& label) {
    return label + " asks to listen";
}

std::string ComputerText(const std::string& name, uint32_t address) {
    return name + " at " + AddressText(address);
}

} // namespace agent
