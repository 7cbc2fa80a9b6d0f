// The agent's settings: orvela_agent.ini beside the program, section MAIN.
// The group keys are the browser's own (BROADCAST_IP, CHANNEL), read by the
// same code with the same defaults; the rest are the agent's. A missing or
// unreadable value gives its default.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "agent/consent.h"
#include "base/profile.h"
#include "wire/group.h"
#include "wire/protocol.h"

namespace agent {

constexpr int kDefaultStreamFormat = 1; // 44100 Hz stereo

struct AgentSettings {
    char groupAddress[kGroupAddressRoom] = {};  // BROADCAST_IP, "host:port"
    uint8_t userGroup = kDefaultUserGroup;      // CHANNEL
    uint16_t requestPort = kDefaultRequestPort; // PORT, 1..65535
    // LISTENING: "ask" (the default: only the computers the user allowed),
    // "all" or "off"; without it the older ALLOW_LISTENING=0 still means "off".
    ListeningMode listening = ListeningMode::Ask;
    std::vector<AllowedComputer> allowed;    // ALLOWED, used when asking
    bool grantPlaylist = true;               // ALLOW_PLAYLIST: 0 refuses
    int streamFormat = kDefaultStreamFormat; // FORMAT, 1..5
    // SOUND_SOURCE: empty or "output" shares what the default output device
    // plays; otherwise the name of the recording device to share.
    std::string soundSource;
};

AgentSettings LoadAgentSettings(ProfileStore& store);
// Writes the ALLOWED key; false when it could not be written.
bool SaveAllowed(ProfileStore& store, const std::vector<AllowedComputer>& allowed);

// "<directory of the program>\orvela_agent.ini"; empty when the program's
// name holds no directory.
std::string AgentSettingsPath(std::string_view executable);

} // namespace agent
