#include "agent/screen_turn.h"

namespace agent {

bool ScreenTurn::OnChange(unsigned change, uint32_t session) {
    const bool before = atScreen_;
    switch (change) {
    case kConsoleConnect:
        // Another session at the console means ours is not.
        atScreen_ = session == own_;
        break;
    case kConsoleDisconnect:
    case kRemoteConnect: // ours went to a remote client: its sound is not this room's
    case kLogoff:
        if (session == own_) atScreen_ = false;
        break;
    default: // logon, lock, unlock, a remote client leaving: nothing moves
        break;
    }
    return atScreen_ != before;
}

} // namespace agent
