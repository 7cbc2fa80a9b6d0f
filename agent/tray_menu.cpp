#include "agent/tray_menu.h"

namespace agent {

std::string AddressText(uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

std::vector<MenuEntry> TrayMenuEntries(const std::vector<Endpoint>& listeners, bool sharing,
                                       bool allowed) {
    std::vector<MenuEntry> entries;
    if (!allowed) {
        // Nothing to stop or share: the settings decide, so say where.
        entries.push_back({0, "Listening is turned off in orvela_agent.ini", true, false});
        entries.push_back({0, "", false, true});
        entries.push_back({kExitCommand, "Exit", false, false});
        return entries;
    }
    if (listeners.empty())
        entries.push_back(
            {0, sharing ? "Nobody is listening" : "Sound is not shared", true, false});
    for (const Endpoint& e : listeners)
        entries.push_back({0, AddressText(e.address) + " is listening", true, false});
    entries.push_back({0, "", false, true});
    if (sharing)
        entries.push_back({kStopSharingCommand, "Stop sharing sound", false, false});
    else
        entries.push_back({kShareAgainCommand, "Share sound again", false, false});
    entries.push_back({kExitCommand, "Exit", false, false});
    return entries;
}

std::string TrayTip(size_t listeners, bool sharing, bool allowed) {
    if (!allowed) return "Orvela agent: listening turned off";
    if (!sharing) return "Orvela agent: sound not shared";
    if (listeners == 0) return "Orvela agent";
    return "Orvela agent: " + std::to_string(listeners) +
           (listeners == 1 ? " computer listens" : " computers listen");
}

} // namespace agent
