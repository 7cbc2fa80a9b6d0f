// The notification-area icon's menu as data: who is listening now (greyed
// lines), the computers that asked and may be allowed, the allowed ones that
// may be revoked, then "Stop sharing sound" (or, once stopped, the way back)
// and "Exit"; when the settings refuse listening, only that and "Exit". The
// shell builds the pop-up menu from these entries. Also the texts of the
// icon's tip and of its notifications.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agent/consent.h"
#include "agent/sessions.h"
#include "base/menu_entry.h"

namespace agent {

constexpr unsigned kStopSharingCommand = 1;
constexpr unsigned kShareAgainCommand = 2;
constexpr unsigned kExitCommand = 3;
constexpr unsigned kSettingsCommand = 4;
// Plus the index of the computer in TrayState::offered or ::allowed.
constexpr unsigned kAllowCommand = 100;
constexpr unsigned kRevokeCommand = 200;

struct TrayComputer {
    uint32_t address = 0;
    std::string name;  // as announced: what allowing or revoking it keeps
    std::string label; // "DESK (ben) at 192.168.1.20" for a listener, "DESK at ..." otherwise
    bool operator==(const TrayComputer&) const = default;
};

// What the network thread shows the menu.
struct TrayState {
    std::vector<TrayComputer> listening; // one per stream
    std::vector<TrayComputer> offered;   // asked and refused: may be allowed
    std::vector<TrayComputer> allowed;   // shown while asking
    bool sharing = true;                 // not stopped from the menu
    ListeningMode mode = ListeningMode::Ask;
    bool soundMissing = false; // the sound to share could not be captured: listening is refused
    // This session is not at the screen, or waits for the one that was to
    // hand over: this agent neither announces nor shares.
    bool standby = false;
    bool operator==(const TrayState&) const = default;
};

std::vector<MenuEntry> TrayMenuEntries(const TrayState& state);
// The computer a menu command allows or revokes, read from the state the menu
// was built from (the lists change as computers ask); null for none.
const TrayComputer* CommandComputer(const TrayState& shown, unsigned command);

// The notification icon. At logon the agent may start before the shell,
// whose adds then fail: the icon is added again every kRetryMs for
// kRetryForMs, and at once (with a new period) when a change to it fails,
// which means the shell no longer has it.
class IconKeeper {
  public:
    static constexpr uint32_t kRetryMs = 3000;
    static constexpr uint32_t kRetryForMs = 120000;

    explicit IconKeeper(uint32_t now) : since_(now) {}
    bool AddDue(uint32_t now) const {
        return !shown_ && now - since_ < kRetryForMs && (!tried_ || now - triedAt_ >= kRetryMs);
    }
    void Added(bool ok, uint32_t now) {
        shown_ = ok;
        tried_ = true;
        triedAt_ = now;
    }
    void ChangeFailed(uint32_t now) {
        shown_ = tried_ = false;
        since_ = now;
    }

  private:
    uint32_t since_, triedAt_ = 0;
    bool shown_ = false, tried_ = false;
};

// The icon's tip: the program and how many listen.
std::string TrayTip(const TrayState& state);

// The notifications' texts, from a label such as "DESK (ben) at 192.168.1.20".
std::string ListeningNotice(const std::string& label);
std::string AskingNotice(const std::string& label);
// "DESK at 192.168.1.20".
std::string ComputerText(const std::string& name, uint32_t address);

} // namespace agent
