#include "agent/agent_settings.h"

#include "base/text.h"

namespace agent {

namespace {

constexpr const char* kMain = "MAIN";

// A number, or nothing when the value does not start with one.
bool ReadNumber(ProfileStore& store, const char* key, int32_t& out) {
    char value[kProfileValueRoom] = {};
    store.GetString(kMain, key, "", value, sizeof value);
    size_t i = 0;
    while (value[i] == ' ' || value[i] == '\t')
        ++i;
    if (value[i] == '+' || value[i] == '-') ++i;
    if (value[i] < '0' || value[i] > '9') return false;
    out = ParseDecimal(value);
    return true;
}

} // namespace

AgentSettings LoadAgentSettings(ProfileStore& store) {
    AgentSettings s;
    LoadGroupSettings(store, s.groupAddress, s.userGroup);
    int32_t n = 0;
    if (ReadNumber(store, "PORT", n) && n >= 1 && n <= 65535)
        s.requestPort = static_cast<uint16_t>(n);
    if (ReadNumber(store, "ALLOW_LISTENING", n)) s.grantListening = n != 0;
    if (ReadNumber(store, "ALLOW_PLAYLIST", n)) s.grantPlaylist = n != 0;
    if (ReadNumber(store, "FORMAT", n) && n >= kMinFormatCode && n <= kMaxFormatCode)
        s.streamFormat = n;
    char source[kProfileValueRoom] = {};
    store.GetString(kMain, "SOUND_SOURCE", "", source, sizeof source);
    s.soundSource = source;
    return s;
}

std::string AgentSettingsPath(std::string_view executable) {
    const size_t slash = executable.rfind('\\');
    if (slash == std::string_view::npos) return {};
    return std::string(executable.substr(0, slash)) + "\\orvela_agent.ini";
}

} // namespace agent
