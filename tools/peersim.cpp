#include "tools/peersim.h"

#include <cstdio>

namespace peersim {

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
    for (const auto& [name, mode] : modes) std::fprintf(stderr, "  %s %s\n", name.c_str(), mode.usage.c_str());
    return 2;
}
