// The peer simulator plays the Orvela agent's side of the network for tests
// and demos. Each mode (presence, stream, ...) lives in its own file and
// registers itself here; `peersim MODE args...` runs one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace peersim {

using ModeMain = std::function<int(int argc, char** argv)>;

struct Mode {
    ModeMain run;
    std::string usage;
};

std::map<std::string, Mode>& Modes();

// Option values: a whole decimal number within [min, max]; hex bytes, which
// may be grouped with blanks, ':', '|' or '-'.
bool ParseLong(const char* text, long min, long max, long& out);
bool ParseHex(const std::string& text, std::vector<uint8_t>& out);

struct RegisterMode {
    RegisterMode(const std::string& name, ModeMain run, std::string usage) {
        Modes()[name] = Mode{std::move(run), std::move(usage)};
    }
};

} // namespace peersim
