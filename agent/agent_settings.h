// The agent's settings: orvela_agent.ini, section MAIN, read first from the
// user's own file under the local application data (what the user decided:
// who may listen, the sound, the quality, the playlist) and then from the
// file beside the program (the installer's defaults, which a user never
// writes). The group keys are the browser's own (BROADCAST_IP, CHANNEL), read by the
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
    char groupAddress[kGroupAddressRoom] = {};        // BROADCAST_IP, "host:port"
    uint8_t userGroup = wire::kDefaultUserGroup;      // CHANNEL
    uint16_t requestPort = wire::kDefaultRequestPort; // PORT, 1..65535
    // LISTENING: "ask" (the default: only the computers the user allowed),
    // "all" or "off"; without it the older ALLOW_LISTENING=0 still means "off".
    ListeningMode listening = ListeningMode::Ask;
    std::vector<AllowedComputer> allowed;    // ALLOWED, used when asking
    bool grantPlaylist = true;               // ALLOW_PLAYLIST: 0 refuses
    int streamFormat = kDefaultStreamFormat; // FORMAT, 1..5
    // SOUND_SOURCE: empty or "output" shares what the default output device
    // plays; otherwise the name of the recording device to share.
    std::string soundSource;
    bool operator==(const AgentSettings&) const = default;
};

AgentSettings LoadAgentSettings(ProfileStore& store);
// Writes the ALLOWED key; false when it could not be written.
bool SaveAllowed(ProfileStore& store, const std::vector<AllowedComputer>& allowed);
// Writes what the user decides (LISTENING, ALLOWED, ALLOW_PLAYLIST, FORMAT,
// SOUND_SOURCE); false when any of it could not be written.
bool SaveUserSettings(ProfileStore& store, const AgentSettings& settings);

// The user's file over the program's: a key the user's file holds wins, any
// other comes from the program's; writes go to the user's file alone.
class LayeredProfileStore : public ProfileStore {
  public:
    LayeredProfileStore(ProfileStore& user, ProfileStore& defaults)
        : user_(user), defaults_(defaults) {}
    void GetString(const char* section, const char* key, const char* def, char* out,
                   size_t room) override;
    bool PutString(const char* section, const char* key, const char* value) override {
        return user_.PutString(section, key, value);
    }
    std::string Where() const override { return user_.Where(); }

  private:
    ProfileStore &user_, &defaults_;
};

// "<directory of the program>\orvela_agent.ini"; empty when the program's
// name holds no directory.
std::string AgentSettingsPath(std::string_view executable);
// "<local application data>\Orvela\orvela_agent.ini".
std::string UserSettingsPath(std::string_view localAppData);
// Where Windows keeps a user's own copy of `file` that a program without a
// manifest wrote in a protected folder: "C:\Program Files\X\a.ini" is
// "<local application data>\VirtualStore\Program Files\X\a.ini". Empty for a
// file not on a drive letter.
std::string VirtualStorePath(std::string_view localAppData, std::string_view file);

} // namespace agent
