// Decoding speed of each stream format: one full datagram (21 blocks) per
// iteration. The "realtime" counter is seconds of audio decoded per second,
// that is how many times faster than real time the network thread converts.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "codec/ima_adpcm.h"
#include "codec/ima_encoder.h"

namespace {

void DecodeFormat(benchmark::State& state) {
    const codec::AudioFormat& f = *codec::FindAudioFormat(static_cast<int>(state.range(0)));
    const size_t blocks = codec::kMaxBlocksPerDatagram;
    std::vector<int16_t> frames(f.samplesPerBlock * f.channels);
    std::vector<uint8_t> adpcm(blocks * f.blockSize);
    codec::ImaEncoder encoder(f);
    for (size_t b = 0; b < blocks; ++b) {
        for (size_t i = 0; i < frames.size(); ++i)
            frames[i] = static_cast<int16_t>(9000 * std::sin(double(b * frames.size() + i) * 0.03) +
                                             3000 * std::sin(double(i) * 0.7));
        encoder.EncodeBlock(frames.data(), adpcm.data() + b * f.blockSize);
    }
    std::vector<uint8_t> pcm(blocks * f.PcmBlockBytes());
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            codec::DecodeImaBlocks(f, adpcm.data(), adpcm.size(), pcm.data(), pcm.size()));
        benchmark::ClobberMemory();
    }
    const double audioSeconds = double(blocks * f.samplesPerBlock) / f.sampleRate;
    state.counters["realtime"] =
        benchmark::Counter(audioSeconds, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(adpcm.size()));
}

BENCHMARK(DecodeFormat)->DenseRange(1, 5)->ArgName("format");

} // namespace
