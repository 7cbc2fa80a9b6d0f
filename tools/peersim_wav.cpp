// peersim wav: writes a WAV file of a short tune (16-bit stereo, 44100 Hz)
// for the agent's file source in the demo, where Wine cannot capture the
// computer's own sound.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/peersim.h"

namespace {

const char* const kUsage = "--out FILE [--seconds N]\n"
                           "    A tune of N seconds (4), a note every quarter second; no stretch\n"
                           "    of it repeats, so a recording of it can be aligned with it.";

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int Usage() {
    std::fprintf(stderr, "usage: peersim wav %s\n", kUsage);
    return 2;
}

int Run(int argc, char** argv) {
    std::string path;
    long seconds = 4;
    for (int i = 1; i < argc; i += 2) {
        const std::string opt = argv[i];
        if (i + 1 >= argc) return Usage();
        if (opt == "--out")
            path = argv[i + 1];
        else if (opt != "--seconds" || !peersim::ParseLong(argv[i + 1], 1, 60, seconds))
            return Usage();
    }
    if (path.empty()) return Usage();
    constexpr uint32_t kRate = 44100;
    constexpr double kNotes[] = {261.63, 293.66, 329.63, 349.23, 392.00, 440.00, 493.88, 523.25};
    // The notes in an order that never repeats within a minute.
    std::vector<double> tune;
    for (uint32_t n = 0, x = 1; n < static_cast<uint32_t>(seconds) * 4 + 1; ++n) {
        x = x * 1103515245u + 12345u;
        tune.push_back(kNotes[(x >> 16) % 8]);
    }
    const uint32_t frames = static_cast<uint32_t>(seconds) * kRate;
    std::vector<uint8_t> wav;
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    Put(wav, 36 + frames * 4, 4);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(wav, 16, 4);
    Put(wav, 0x00020001, 4);
    Put(wav, kRate, 4);
    Put(wav, kRate * 4, 4);
    Put(wav, 0x00100004, 4);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    Put(wav, frames * 4, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate, hz = tune[i / (kRate / 4)];
        const double fade = 1 - std::fmod(t, 0.25) * 3; // each note dies away
        Put(wav,
            static_cast<uint16_t>(static_cast<int16_t>(9000 * fade * std::sin(2 * M_PI * hz * t))),
            2);
        Put(wav,
            static_cast<uint16_t>(
                static_cast<int16_t>(9000 * fade * std::sin(2 * M_PI * hz * 1.5 * t))),
            2);
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(wav.data(), 1, wav.size(), f) != wav.size()) {
        std::fprintf(stderr, "peersim wav: cannot write %s\n", path.c_str());
        if (f) std::fclose(f);
        return 1;
    }
    std::fclose(f);
    return 0;
}

const peersim::RegisterMode kWav("wav", Run, kUsage);

} // namespace
