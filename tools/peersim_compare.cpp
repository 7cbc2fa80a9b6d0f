// peersim compare: how faithfully a recording reproduces a reference, both
// 16-bit PCM WAV files of one rate: finds where in the reference the
// recording starts (the lag), fits the level, and prints the
// signal-to-noise ratio of the recording against the aligned reference.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "agent/wav_file.h"
#include "base/file_bytes.h"
#include "tools/peersim.h"

namespace {

const char* const kUsage = "--reference FILE --recording FILE [--min-snr DB]\n"
                           "    Prints the lag, the level and the SNR; exits 1 below --min-snr.";

struct Pcm {
    uint32_t rate = 0;
    uint16_t channels = 0;
    std::vector<float> mono; // the mean of the channels
    std::vector<int16_t> samples;
};

// A 16-bit PCM WAV file of one or two channels.
bool ReadWav(const std::string& path, Pcm& out) {
    const std::vector<uint8_t> bytes = FileBytes(path);
    agent::WavAudio wav;
    if (!agent::ParseWav(bytes.data(), bytes.size(), wav) ||
        wav.format.type != agent::SampleType::Int16 || wav.format.channels > 2)
        return false;
    out.rate = wav.format.rate;
    out.channels = wav.format.channels;
    const size_t frameBytes = wav.format.FrameBytes();
    for (size_t i = 0; i + frameBytes <= wav.frames.size(); i += frameBytes) {
        float sum = 0;
        for (int c = 0; c < out.channels; ++c) {
            const auto v =
                static_cast<int16_t>(wav.frames[i + 2 * c] | wav.frames[i + 2 * c + 1] << 8);
            // Both files are compared as stereo.
            out.samples.push_back(v);
            if (out.channels == 1) out.samples.push_back(v);
            sum += v;
        }
        out.mono.push_back(sum / out.channels);
    }
    return !out.mono.empty();
}

// The correlation of the recording's window at `from` with the reference at
// `lag`, every `step`th frame.
double Correlation(const Pcm& ref, const Pcm& rec, size_t from, size_t length, size_t lag,
                   size_t step) {
    double sum = 0, energy = 1;
    for (size_t i = 0; i < length; i += step) {
        const double r = ref.mono[lag + i];
        sum += r * rec.mono[from + i];
        energy += r * r;
    }
    return sum / std::sqrt(energy);
}

int Run(int argc, char** argv) {
    std::string refPath, recPath;
    long minSnr = -1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--reference")
            refPath = argv[i + 1];
        else if (opt == "--recording")
            recPath = argv[i + 1];
        else if (opt != "--min-snr" || !peersim::ParseLong(argv[i + 1], -100, 200, minSnr)) {
            std::fprintf(stderr, "usage: peersim compare %s\n", kUsage);
            return 2;
        }
    }
    Pcm ref, rec;
    if (!ReadWav(refPath, ref) || !ReadWav(recPath, rec) || ref.rate != rec.rate) {
        std::fprintf(stderr, "peersim compare: two 16-bit WAV files of one rate are needed\n");
        return 2;
    }
    // The recording starts with the stream's silence: align a window of it
    // that holds sound, first coarsely, then sample by sample.
    size_t from = 0;
    while (from < rec.mono.size() && std::fabs(rec.mono[from]) < 300)
        ++from;
    const size_t length =
        std::min<size_t>(rec.rate, rec.mono.size() - std::min(from, rec.mono.size()));
    if (length < rec.rate / 4 || ref.mono.size() < length) {
        std::fprintf(stderr, "peersim compare: the recording holds too little sound\n");
        return 1;
    }
    size_t best = 0;
    double bestValue = -1e300;
    for (size_t lag = 0; lag + length <= ref.mono.size(); lag += 4)
        if (const double c = Correlation(ref, rec, from, length, lag, 8); c > bestValue)
            bestValue = c, best = lag;
    const size_t coarse = best;
    bestValue = -1e300;
    for (size_t lag = coarse > 8 ? coarse - 8 : 0;
         lag <= coarse + 8 && lag + length <= ref.mono.size(); ++lag)
        if (const double c = Correlation(ref, rec, from, length, lag, 1); c > bestValue)
            bestValue = c, best = lag;
    // The two ends' sound clocks differ a little, so the recording is
    // compared a half second at a time, each part aligned anew near where
    // the last one was, with one level over all.
    const size_t part = rec.rate / 2, drift = rec.rate / 50;
    std::vector<std::pair<size_t, size_t>> parts; // recording frame, reference frame
    long long lag = static_cast<long long>(best) - static_cast<long long>(from);
    for (size_t at = from; at + part <= rec.mono.size(); at += part) {
        double partBest = -1e300;
        long long found = -1;
        for (long long l = lag - static_cast<long long>(drift);
             l <= lag + static_cast<long long>(drift); ++l) {
            const long long refAt = static_cast<long long>(at) + l;
            if (refAt < 0 || static_cast<size_t>(refAt) + part > ref.mono.size()) continue;
            if (const double c = Correlation(ref, rec, at, part, static_cast<size_t>(refAt), 4);
                c > partBest)
                partBest = c, found = refAt;
        }
        if (found < 0) break;
        lag = found - static_cast<long long>(at);
        parts.emplace_back(at, static_cast<size_t>(found));
    }
    double rs = 0, ss = 0;
    for (const auto& [at, refAt] : parts)
        for (size_t k = 0; k < part * 2; ++k) {
            const double r = rec.samples[at * 2 + k], x = ref.samples[refAt * 2 + k];
            rs += r * x;
            ss += x * x;
        }
    const double gain = ss > 0 ? rs / ss : 0;
    double signal = 0, noise = 0;
    for (const auto& [at, refAt] : parts)
        for (size_t k = 0; k < part * 2; ++k) {
            const double x = gain * ref.samples[refAt * 2 + k];
            const double e = rec.samples[at * 2 + k] - x;
            signal += x * x;
            noise += e * e;
        }
    const double snr = 10 * std::log10((signal + 1e-9) / (noise + 1e-9));
    // The reference frame at the recording's first frame: negative when the
    // recording began before the reference did.
    const long long offset = static_cast<long long>(best) - static_cast<long long>(from);
    const long long drifted = parts.empty() ? 0 : lag - offset;
    std::printf("compare: reference frame %lld at the recording's start (%.1f ms), level %.3f, "
                "snr %.1f dB over %.2f s, the clocks drifted %.1f ms apart\n",
                offset, offset * 1000.0 / rec.rate, gain, snr,
                double(parts.size() * part) / rec.rate, drifted * 1000.0 / rec.rate);
    return snr >= minSnr ? 0 : 1;
}

const peersim::RegisterMode kCompare("compare", Run, kUsage);

} // namespace
