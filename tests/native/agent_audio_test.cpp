// The agent's sound: PCM conversion to the stream's formats, WAV and mix
// formats, and the stream's datagrams: their pace by the clock, their
// content, silence when the source has nothing and no backlog when it has
// too much.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "agent/audio_stream.h"
#include "agent/sound_source.h"
#include "agent/wav_file.h"
#include "codec/ima_adpcm.h"

namespace {

using namespace agent;
using Samples = std::vector<int16_t>;
using Bytes = std::vector<uint8_t>;

// Little-endian values of `width` bytes each.
Bytes LE(const std::vector<int32_t>& values, size_t width) {
    Bytes out;
    for (int32_t v : values)
        for (size_t i = 0; i < width; ++i)
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    return out;
}

TEST(AgentPcmConverter, SamplesChannelsAndRatesBecomeTheStreamFormat) {
    using T = SampleType;
    // An output frame is made once the input frame after its position has come.
    const std::tuple<PcmInputFormat, Bytes, int, Samples> rows[] = {
        {{T::Int16, 2, 44100}, LE({1, -2, 3, -4, 5, -6}, 2), 1, {1, -2, 3, -4}},
        {{T::Int16, 2, 44100}, LE({10, 20, 30, -40, 0, 0}, 2), 2, {15, -5}},
        {{T::Int16, 1, 44100}, LE({7, 9, 0}, 2), 1, {7, 7, 9, 9}},
        // 5.1 and more: centre and surrounds at -3 dB, the low frequencies left out, a
        // channel beyond the named speakers too.
        {{T::Int16, 6, 44100}, LE({0, 0, 1000, 5000, 0, 0, 0, 0, 0, 0, 0, 0}, 2), 1, {707, 707}},
        {{T::Int16, 6, 44100},
         LE({100, 200, 0, 0, 1000, -1000, 0, 0, 0, 0, 0, 0}, 2),
         1,
         {807, -507}},
        {{T::Int16, 6, 44100}, LE({0, 0, 1000, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2), 2, {707}},
        {{T::Int16, 4, 44100, 0x603}, LE({0, 0, 1000, 0, 0, 0, 0, 0}, 2), 1, {707, 0}},
        {{T::Int16, 3, 44100, 0x3}, LE({5, 6, 1000, 0, 0, 0}, 2), 1, {5, 6}},
        {{T::Float32, 2, 44100},
         LE({0x3F000000, -0x40800000, 0x40000000, -0x40000000, 0, 0}, 4),
         1,
         {16384, -32768, 32767, -32768}}, // 0.5, -1, 2, -2
        {{T::Int24, 1, 44100}, LE({0x123456, -0x800000, 0}, 3), 2, {0x1234, -32768}},
        {{T::Int32, 1, 44100}, LE({0x12345678, 0}, 4), 2, {0x1234}},
        {{T::Int16, 1, 22050}, LE({0, 100, 200}, 2), 2, {0, 50, 100, 150}},
        {{T::Int16, 1, 44100}, LE({0, 10, 20, 30, 40}, 2), 4, {0, 20}},
        {{T::Int16, 1, 48000}, LE({0, 480, 960}, 2), 5, {0}},
    };
    for (const auto& [in, bytes, code, want] : rows) {
        PcmConverter c(in, *codec::FindAudioFormat(code));
        c.Push(bytes.data(), bytes.size() / in.FrameBytes());
        Samples out(c.Available() * codec::FindAudioFormat(code)->channels);
        c.Take(out.data(), c.Available());
        EXPECT_EQ(out, want) << int(in.type) << " " << in.channels << " " << in.rate;
    }
}

TEST(AgentWavFile, FormatsOfFilesAndOfTheMixAreReadAndOthersRefused) {
    PcmInputFormat f;
    // WAVE_FORMAT_EXTENSIBLE naming 32-bit float, as a device's mix format does.
    Bytes ext = LE({0xFFFE, 2, 48000, 0, 0, 6, 8, 32, 22, 32, 3, 0, 3, 0}, 2);
    ext.resize(40);
    ASSERT_TRUE(ReadWaveFormat(ext.data(), ext.size(), f));
    EXPECT_EQ(std::tuple(f.type, f.channels, f.rate), std::tuple(SampleType::Float32, 2, 48000u));
    const Bytes eightBit = LE({1, 1, 8000, 0, 8000, 0, 1, 8}, 2);
    EXPECT_FALSE(ReadWaveFormat(eightBit.data(), eightBit.size(), f));
}

// A capture as the stream sees it: each feed brings `perFeed` frames, counting up.
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

TEST(AgentAudioStream, DatagramsOfTwoBlocksFallDueAtRealTimePace) {
    CountingSource capture;
    AudioStream stream(*codec::FindAudioFormat(2), capture);
    std::vector<Bytes> sent;
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
    for (uint32_t last = 0; const auto& [at, due, next] : pace) {
        size_t made = 0; // called at least every 50 ms, as the agent's thread does
        for (last = std::min(last + 50, at);; last = std::min(last + 50, at))
            if (made += produce(t0 + last); last == at) break;
        EXPECT_EQ(made, due) << at;
        EXPECT_EQ(stream.MsUntilNext(t0 + at, 1000), next) << at;
    }
    EXPECT_EQ(produce(t0 + 12100), 1u) << "more than a second behind: starts again";
    capture.perFeed = 44100;
    EXPECT_EQ(produce(t0 + 12200), 1u);
    Samples pcm(4082);
    for (const auto& [d, first] :
         {std::pair<size_t, int>{0, 0}, {sent.size() - 1, 44099 - 4082 - 22050}}) {
        ASSERT_EQ(sent[d].size(), 2048u);
        codec::DecodeImaBlocks(*codec::FindAudioFormat(2), sent[d].data(), sent[d].size(),
                               reinterpret_cast<uint8_t*>(pcm.data()), pcm.size() * 2);
        EXPECT_EQ(pcm[0], first) << "silence, then the newest half second beyond the datagram";
    }
}

} // namespace

TEST(AgentSoundSource, OnlyTheDeviceTheUserNamedIsCapturedAndAMissingOneIsRetriedOnceASecond) {
    EXPECT_TRUE(IsOutputLoopback(""));
    EXPECT_TRUE(IsOutputLoopback(" Output "));
    EXPECT_FALSE(IsOutputLoopback("Microphone"));
    const std::tuple<const char*, const char*, bool> names[] = {
        {"Stereo Mix", "Stereo Mix (Realtek High Definition Audio)", true},
        {"stereo mix", "Stereo Mix", true},
        {"Monitor of Null Output", "Monitor of Null Output", true},
        {"Stereo Mix", "Stereo Mix 2 (USB)", false},
        {"Stereo Mix", "Microphone (Realtek High Definition Audio)", false},
        {"Line", "Line In (USB)", false},
        {"", "Microphone", false},
    };
    for (const auto& [wanted, device, match] : names)
        EXPECT_EQ(IsNamedDevice(wanted, device), match) << wanted << " / " << device;

    RetryPacer pacer(1000);
    EXPECT_TRUE(pacer.Due(5000));
    EXPECT_FALSE(pacer.Due(5999));
    EXPECT_TRUE(pacer.Due(6000));
    pacer.Reset();
    EXPECT_TRUE(pacer.Due(6001));

    // Every failing capture call closes the client, not only a device invalidated.
    const std::tuple<uint32_t, uint32_t, CaptureStep> results[] = {
        {0, 480, CaptureStep::Read},          {0, 0, CaptureStep::Wait},
        {0x08890001, 1, CaptureStep::Wait},   // AUDCLNT_S_BUFFER_EMPTY
        {0x88890004, 0, CaptureStep::Reopen}, // AUDCLNT_E_DEVICE_INVALIDATED
        {0x88890010, 0, CaptureStep::Reopen}, // AUDCLNT_E_SERVICE_NOT_RUNNING
        {0x88890018, 0, CaptureStep::Reopen}, // AUDCLNT_E_BUFFER_ERROR
        {0x88890007, 0, CaptureStep::Reopen}, // AUDCLNT_E_OUT_OF_ORDER
        {0x8007000E, 0, CaptureStep::Reopen}, // E_OUTOFMEMORY
    };
    for (const auto& [result, frames, step] : results)
        EXPECT_EQ(AfterCaptureCall(static_cast<int32_t>(result), frames), step)
            << std::hex << result;
}
