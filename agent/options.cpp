#include "agent/options.h"

#include "base/text.h"
#include "wire/ipv4.h"

namespace agent {

namespace {

constexpr uint32_t kMaxExitAfterMs = 24u * 3600u * 1000u;

} // namespace

bool ParseAgentOptions(const std::vector<std::string>& args, AgentOptions& out,
                       std::string& error) {
    bool multicastGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& opt = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + opt;
            return false;
        }
        const std::string& value = args[++i];
        bool ok = true;
        if (opt == "--bind") {
            ok = ParseDottedIpv4(value, out.bind);
        } else if (opt == "--multicast-if") {
            ok = ParseDottedIpv4(value, out.multicastInterface);
            multicastGiven = true;
        } else if (opt == "--wav") {
            out.wav = value;
            ok = !value.empty();
        } else if (opt == "--exit-after") {
            const int32_t ms = ParseDecimal(value);
            ok = value.find_first_not_of("0123456789") == std::string::npos && ms > 0 &&
                 static_cast<uint32_t>(ms) <= kMaxExitAfterMs;
            out.exitAfterMs = static_cast<uint32_t>(ms);
        } else {
            error = "unknown option " + opt;
            return false;
        }
        if (!ok) {
            error = "bad value for " + opt + ": " + value;
            return false;
        }
    }
    if (!multicastGiven) out.multicastInterface = out.bind;
    return true;
}

} // namespace agent
