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
    if (ReadNumber(store, "ALLOW_LISTENING", n) && n == 0) s.listening = ListeningMode::Off;
    char value[kProfileValueRoom] = {};
    store.GetString(kMain, "LISTENING", "", value, sizeof value);
    const std::string_view mode(value);
    if (mode == "all") s.listening = ListeningMode::All;
    if (mode == "ask") s.listening = ListeningMode::Ask;
    if (mode == "off") s.listening = ListeningMode::Off;
    std::string list(4096, '\0'); // room for the longest list the agent writes
    store.GetString(kMain, "ALLOWED", "", list.data(), list.size());
    s.allowed = ParseAllowed(list.c_str());
    if (ReadNumber(store, "ALLOW_PLAYLIST", n)) s.grantPlaylist = n != 0;
    if (ReadNumber(store, "FORMAT", n) && n >= wire::kMinFormatCode && n <= wire::kMaxFormatCode)
        s.streamFormat = n;
    char source[kProfileValueRoom] = {};
    store.GetString(kMain, "SOUND_SOURCE", "", source, sizeof source);
    s.soundSource = source;
    return s;
}

bool SaveAllowed(ProfileStore& store, const std::vector<AllowedComputer>& allowed) {
    return store.PutString(kMain, "ALLOWED", FormatAllowed(allowed).c_str());
}

bool SaveUserSettings(ProfileStore& store, const AgentSettings& s) {
    const char* modes[] = {"all", "ask", "off"};
    bool ok = store.PutString(kMain, "LISTENING", modes[static_cast<int>(s.listening)]);
    ok &= SaveAllowed(store, s.allowed);
    ok &= store.PutString(kMain, "ALLOW_PLAYLIST", s.grantPlaylist ? "1" : "0");
    ok &= store.PutString(kMain, "FORMAT", std::to_string(s.streamFormat).c_str());
    ok &= store.PutString(kMain, "SOUND_SOURCE", s.soundSource.c_str());
    return ok;
}

void LayeredProfileStore::GetString(const char* section, const char* key, const char* def,
                                    char* out, size_t room) {
    // No value the agent writes or reads starts with this byte.
    constexpr char kAbsent[] = "\x01";
    user_.GetString(section, key, kAbsent, out, room);
    if (room > 0 && std::string_view(out) == kAbsent)
        defaults_.GetString(section, key, def, out, room);
}

std::string AgentSettingsPath(std::string_view executable) {
    const size_t slash = executable.rfind('\\');
    if (slash == std::string_view::npos) return {};
    return std::string(executable.substr(0, slash)) + "\\orvela_agent.ini";
}

std::string UserSettingsPath(std::string_view localAppData) {
    return std::string(localAppData) + "\\Orvela\\orvela_agent.ini";
}

std::string VirtualStorePath(std::string_view localAppData, std::string_view file) {
    if (localAppData.empty() || file.size() < 4 || file[1] != ':' || file[2] != '\\') return {};
    return std::string(localAppData) + "\\VirtualStore" + std::string(file.substr(2));
}

} // namespace agent
