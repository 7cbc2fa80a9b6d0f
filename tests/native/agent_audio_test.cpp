// The agent's sound: PCM conversion to the stream's formats, WAV files, and
// the stream's datagrams: their pace by the clock, their content, silence
// when the source has nothing and no backlog when it has too much.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "agent/audio_stream.h"
#include "agent/wav_file.h"
#include "instream/ima_adpcm.h"

namespace {

using namespace agent;
using Samples = std::vector<int16_t>;

std::vector<uint8_t> Bytes(const std::vector<int32_t>& values, size_t width) {
    std::vector<uint8_t> out;
    for (int32_t v : values)
        for (size_t i = 0; i < width; ++i)
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    return out;
}

std::vector<uint8_t> Floats(const std::vector<float>& values) {
    std::vector<uint8_t> out(values.size() * 4);
    std::memcpy(out.data(), values.data(), out.size());
    return out;
}

Samples Convert(PcmInputFormat in, const std::vector<uint8_t>& bytes, int code) {
    PcmConverter c(in, *instream::FindAudioFormat(code));
    c.Push(bytes.data(), bytes.size() / in.FrameBytes());
    Samples out(c.Available() * instream::FindAudioFormat(code)->channels);
    c.Take(out.data(), c.Available());
    return out;
}

TEST(AgentPcmConverter, SamplesChannelsAndRatesBecomeTheStreamFormat) {
    using T = SampleType;
    // An output frame is made once the input frame after its position has come.
    const std::tuple<PcmInputFormat, std::vector<uint8_t>, int, Samples> rows[] = {
        {{T::Int16, 2, 44100}, Bytes({1, -2, 3, -4, 5, -6}, 2), 1, {1, -2, 3, -4}},
        {{T::Int16, 2, 44100}, Bytes({10, 20, 30, -40, 0, 0}, 2), 2, {15, -5}},
        {{T::Int16, 1, 44100}, Bytes({7, 9, 0}, 2), 1, {7, 7, 9, 9}},
        {{T::Int16, 6, 44100}, Bytes({1, 2, 9, 9, 9, 9, 0, 0, 0, 0, 0, 0}, 2), 1, {1, 2}},
        {{T::Float32, 2, 44100},
         Floats({0.5f, -1.0f, 2.0f, -2.0f, 0, 0}),
         1,
         {16384, -32768, 32767, -32768}},
        {{T::Int24, 1, 44100}, Bytes({0x123456, -0x800000, 0}, 3), 2, {0x1234, -32768}},
        {{T::Int32, 1, 44100}, Bytes({0x12345678, 0}, 4), 2, {0x1234}},
        {{T::Int16, 1, 22050}, Bytes({0, 100, 200}, 2), 2, {0, 50, 100, 150}},
        {{T::Int16, 1, 44100}, Bytes({0, 10, 20, 30, 40}, 2), 4, {0, 20}},
        {{T::Int16, 1, 48000}, Bytes({0, 480, 960}, 2), 5, {0}},
    };
    for (const auto& [in, bytes, code, want] : rows)
        EXPECT_EQ(Convert(in, bytes, code), want)
            << int(in.type) << " " << in.channels << " " << in.rate;
}

TEST(AgentPcmConverter, InputFramesForMakesEnoughOutputAndKeepNewestDropsTheOldest) {
    for (uint32_t rate : {8000u, 44100u, 48000u, 96000u})
        for (int code = 1; code <= 5; ++code) {
            PcmConverter c({SampleType::Int16, 1, rate}, *instream::FindAudioFormat(code));
            const std::vector<uint8_t> silence(2 * 40000);
            for (size_t want : {1u, 2041u, 4082u}) {
                const size_t before = c.Available();
                c.Push(silence.data(), c.InputFramesFor(want));
                EXPECT_GE(c.Available() - before, want) << rate << " " << code;
                EXPECT_LE(c.Available() - before,
                          want + 6); // 8000 Hz makes 5.5 frames per input frame
            }
        }
    PcmConverter c({SampleType::Int16, 1, 44100}, *instream::FindAudioFormat(2));
    const auto ramp = Bytes({1, 2, 3, 4, 5, 6}, 2);
    c.Push(ramp.data(), 6);
    c.KeepNewest(2);
    Samples out(5);
    EXPECT_EQ(c.Take(out.data(), 5), 2u);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// A WAV file of 16-bit frames, or with the format chunk given.
std::vector<uint8_t> Wav(uint16_t channels, uint32_t rate, const std::vector<int32_t>& samples,
                         std::vector<uint8_t> format = {}) {
    const int32_t frameBytes = 2 * channels;
    if (format.empty()) {
        format = Bytes({1, channels}, 2);
        Append(format, Bytes({int32_t(rate), int32_t(rate) * frameBytes}, 4));
        Append(format, Bytes({frameBytes, 16}, 2));
    }
    const auto data = Bytes(samples, 2);
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F', 0,   0,   0,   0,
                                'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    Append(out, Bytes({int32_t(format.size())}, 4));
    Append(out, format);
    Append(out, {'d', 'a', 't', 'a'});
    Append(out, Bytes({int32_t(data.size())}, 4));
    Append(out, data);
    return out;
}

TEST(AgentWavFile, PlainAndExtensibleFormatsReadAndOthersAreRefused) {
    WavAudio audio;
    auto file = Wav(2, 22050, {1, 2, 3, 4, 5});
    ASSERT_TRUE(ParseWav(file.data(), file.size(), audio));
    EXPECT_EQ(audio.format.channels, 2);
    EXPECT_EQ(audio.format.rate, 22050u);
    EXPECT_EQ(audio.FrameCount(), 2u) << "a part frame is left out";
    // WAVE_FORMAT_EXTENSIBLE naming 32-bit float in its sub-format.
    auto ext = Bytes({0xFFFE, 1}, 2);
    Append(ext, Bytes({48000, 192000}, 4));
    Append(ext, Bytes({4, 32, 22, 32, 0, 0, 3, 0}, 2));
    ext.resize(40, 0);
    file = Wav(1, 48000, {0, 0, 0, 0}, ext);
    ASSERT_TRUE(ParseWav(file.data(), file.size(), audio));
    EXPECT_EQ(audio.format.type, SampleType::Float32);
    EXPECT_EQ(audio.FrameCount(), 2u);
    auto eightBit = Wav(1, 8000, {1}, Bytes({1, 1, 8000, 0, 8000, 0, 1, 8}, 2));
    auto noData = Wav(1, 8000, {});
    auto notRiff = Wav(1, 8000, {1});
    notRiff[0] = 'X';
    auto badAlign = Wav(1, 8000, {1});
    badAlign[32] = 4;
    for (const auto& bad : {eightBit, noData, notRiff, badAlign})
        EXPECT_FALSE(ParseWav(bad.data(), bad.size(), audio));
    file = Wav(1, 8000, {1, 2, 3});
    EXPECT_FALSE(ParseWav(file.data(), 20, audio)) << "cut inside the format";
    ASSERT_TRUE(ParseWav(file.data(), file.size() - 3, audio)) << "data cut short";
    EXPECT_EQ(audio.FrameCount(), 1u);
}

// A capture as the stream sees it: each feed delivers `perFeed` frames,
// counting up from 0.
struct CountingSource : SoundSource {
    PcmInputFormat format{SampleType::Int16, 1, 44100};
    size_t perFeed = 0;
    int16_t next = 0;
    bool Open() override { return true; }
    void Close() override {}
    const PcmInputFormat& Format() const override { return format; }
    void Restart() override {}
    void Feed(PcmConverter& c, size_t) override {
        for (size_t i = 0; i < perFeed; ++i, ++next)
            c.Push(reinterpret_cast<const uint8_t*>(&next), 1);
    }
};

Samples Decode(const instream::AudioFormat& f, const std::vector<uint8_t>& datagram) {
    Samples out(datagram.size() / f.blockSize * f.samplesPerBlock * f.channels);
    instream::DecodeImaBlocks(f, datagram.data(), datagram.size(),
                              reinterpret_cast<uint8_t*>(out.data()), out.size() * 2);
    return out;
}

TEST(AgentAudioStream, DatagramsOfTwoBlocksFallDueAtRealTimePace) {
    const instream::AudioFormat& f = *instream::FindAudioFormat(1);
    std::vector<int32_t> tone;
    for (int i = 0; i < 2 * 5000; ++i)
        tone.push_back((i / 2 % 100) * 100 - 5000);
    WavAudio audio;
    const auto file = Wav(2, 44100, tone);
    ASSERT_TRUE(ParseWav(file.data(), file.size(), audio));
    WavSource wav(audio);
    AudioStream stream(f, wav);
    std::vector<std::vector<uint8_t>> sent;
    const auto produce = [&](uint32_t now) {
        const size_t before = sent.size();
        stream.Produce(now, [&](const uint8_t* d, size_t n) { sent.emplace_back(d, d + n); });
        return sent.size() - before;
    };
    const uint32_t t0 = 0xFFFFFF00u; // the tick count wraps meanwhile
    ASSERT_TRUE(stream.Start(t0));
    // 4082 frames at 44100 Hz: datagram n is due 92.56 * n ms after the start.
    const std::tuple<uint32_t, size_t, uint32_t> pace[] = {
        {0, 1, 92}, {91, 0, 1}, {92, 1, 93}, {10000, 107, 89}, {11000, 10, 14}};
    uint32_t last = 0;
    for (const auto& [at, due, next] : pace) {
        size_t made = 0;
        // Called at least every 50 ms, as the agent's thread does.
        for (uint32_t t = std::min(last + 50, at);; t = std::min(t + 50, at)) {
            made += produce(t0 + t);
            if (t == at) break;
        }
        last = at;
        EXPECT_EQ(made, due) << at;
        EXPECT_EQ(stream.MsUntilNext(t0 + at, 1000), next) << at;
    }
    EXPECT_EQ(sent[0].size(), 2u * f.blockSize);
    // The file plays in a loop: every block starts on its own frame exactly.
    for (size_t d = 0; d < 3; ++d) {
        const Samples pcm = Decode(f, sent[d]);
        for (size_t b = 0; b < 2; ++b) {
            const size_t frame = (d * 2 + b) * f.samplesPerBlock % 5000;
            EXPECT_EQ(pcm[b * f.samplesPerBlock * 2], tone[frame * 2]) << d << " " << b;
        }
    }
    EXPECT_EQ(produce(t0 + 12100), 1u) << "more than a second behind: starts again";

    CountingSource capture;
    AudioStream live(*instream::FindAudioFormat(2), capture);
    sent.clear();
    ASSERT_TRUE(live.Start(0));
    live.Produce(0, [&](const uint8_t* d, size_t n) { sent.emplace_back(d, d + n); });
    EXPECT_EQ(Decode(*instream::FindAudioFormat(2), sent[0]), Samples(4082, 0)) << "silence";
    capture.perFeed = 44100;
    live.Produce(100, [&](const uint8_t* d, size_t n) { sent.emplace_back(d, d + n); });
    // Half a second beyond the datagram is kept; the oldest frames went.
    EXPECT_EQ(Decode(*instream::FindAudioFormat(2), sent[1])[0], 44099 - 4082 - 22050);
}

} // namespace
