#include "tools/peersim.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace peersim {

bool ParseLong(const char* text, long min, long max, long& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < min || v > max) return false;
    out = v;
    return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& out) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '|' || c == '-') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

std::map<std::string, Mode>& Modes() {
    static std::map<std::string, Mode> modes;
    return modes;
}

} // namespace peersim

int main(int argc, char** argv) {
    auto& modes = peersim::Modes();
    if (argc >= 2) {
        auto it = modes.find(argv[1]);
        if (it != modes.end()) return it->second.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "usage: peersim MODE [options]\nmodes:\n");
    for (const auto& [name, mode] : modes)
        std::fprintf(stderr, "  %s %s\n", name.c_str(), mode.usage.c_str());
    return 2;
}
