// in_orvela's shell as code that links it directly sees it: the module record
// that winampGetInModule2 hands to the player, and the state of the current
// playback's session, which the record itself does not show. The DLL exports
// only winampGetInModule2; these are for programs that link the shell.
#pragma once

#include <cstddef>
#include <cstdint>

#include "instream/session.h"
#include "sdk/winamp.h"

namespace in_orvela {

// The one record, the same that winampGetInModule2 returns.
In_Module* InputModule();

// The session error of the current or last playback (0 when none, and
// before Init).
int32_t CurrentSessionError();
// Its SessionState value (SESSION_HANDSHAKE before Init).
int32_t CurrentSessionState();
// Bytes allocated from the plug-in's private heap now (0 before Init).
size_t CurrentHeapBytes();

} // namespace in_orvela
