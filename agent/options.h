// The agent's command line, for tests and demos; a user starts it without any.
//   --bind ADDRESS          the local address of its socket (default: every one)
//   --multicast-if ADDRESS  the interface presence leaves by (default: the bound
//                           address, else the system's choice)
//   --wav FILE              stream a WAV file, in a loop, instead of the sound
//                           of the computer
//   --exit-after MS         end by itself after that time, as Exit does
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace agent {

struct AgentOptions {
    uint32_t bind = 0; // host byte order; 0 any
    uint32_t multicastInterface = 0;
    std::string wav;
    uint32_t exitAfterMs = 0; // 0 never
};

// False (with `error` saying why) for an unknown option or a bad value.
bool ParseAgentOptions(const std::vector<std::string>& args, AgentOptions& out, std::string& error);

} // namespace agent
