// Which of this computer's agents shares it: one agent runs in every
// user's session, and only the one whose session is at the screen (attached
// to the console: its user hears the speakers) announces the computer and
// streams its sound. With fast user switching the first user's session
// stays logged on, disconnected, while a second user works at the screen:
// its agent stands down and the second user's takes over. Windows tells
// each agent of its own session's changes; this decides from them, so the
// rule runs the same in the tests as on a desktop.
#pragma once

#include <cstdint>

namespace agent {

class ScreenTurn {
  public:
    // The session change codes of the platform's notifications.
    enum Change : unsigned {
        kConsoleConnect = 1,
        kConsoleDisconnect = 2,
        kRemoteConnect = 3,
        kRemoteDisconnect = 4,
        kLogon = 5,
        kLogoff = 6,
        kLock = 7,
        kUnlock = 8,
    };
    // No session is attached to the console (it is changing hands).
    static constexpr uint32_t kNoSession = 0xFFFFFFFF;

    // `own`: this agent's session; `console`: the one at the screen now. While
    // none is, ours may be the next: it tries, and the next change decides.
    ScreenTurn(uint32_t own, uint32_t console)
        : own_(own), atScreen_(console == own || console == kNoSession) {}

    // One notification: `change` concerning `session`. True when AtScreen
    // changed. Locking alone keeps the session at the screen (its user's
    // music still plays to the room); a switch to another user disconnects it.
    bool OnChange(unsigned change, uint32_t session);
    bool AtScreen() const { return atScreen_; }

  private:
    uint32_t own_;
    bool atScreen_;
};

} // namespace agent
