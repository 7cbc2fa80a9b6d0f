#include "base/errors.h"
#include "codec/ima_adpcm.h"
#include "codec/ima_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "instream_fakes.h"

namespace {

using codec::AudioFormat;
using codec::DecodeImaBlocks;
using codec::FindAudioFormat;
using Bytes = std::vector<uint8_t>;

std::vector<int16_t> Decode(const AudioFormat& f, const Bytes& adpcm) {
    Bytes pcm(adpcm.size() / f.blockSize * f.PcmBlockBytes() + 16);
    const size_t n = DecodeImaBlocks(f, adpcm.data(), adpcm.size(), pcm.data(), pcm.size());
    std::vector<int16_t> out(n / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
    return out;
}

Bytes Header(int sample, int stepIndex) {
    return {static_cast<uint8_t>(sample & 0xFF), static_cast<uint8_t>((sample >> 8) & 0xFF),
            static_cast<uint8_t>(stepIndex), 0};
}

Bytes MonoBlock(const AudioFormat& f, int sample, int stepIndex, const Bytes& codes) {
    // Sized once: growing the 4-byte header trips a false -Warray-bounds in GCC 12.
    Bytes b(f.blockSize, 0);
    const Bytes header = Header(sample, stepIndex);
    std::copy(header.begin(), header.end(), b.begin());
    std::copy(codes.begin(), codes.end(), b.begin() + 4);
    return b;
}

TEST(ImaFormats, TableRows) {
    const struct {
        int code, channels, rate, block, samples;
    } rows[] = {{1, 2, 44100, 2048, 2041},
                {2, 1, 44100, 1024, 2041},
                {3, 2, 22050, 1024, 1017},
                {4, 1, 22050, 512, 1017},
                {5, 1, 11025, 256, 505}};
    for (const auto& r : rows) {
        const AudioFormat* f = FindAudioFormat(r.code);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->channels, r.channels);
        EXPECT_EQ(f->sampleRate, uint32_t(r.rate));
        EXPECT_EQ(f->blockSize, r.block);
        EXPECT_EQ(f->samplesPerBlock, r.samples);
        EXPECT_EQ(f->pcmBytesPerSecond, uint32_t(r.rate * r.channels * 2));
    }
    for (int code : {0, 6, -48, int('1')})
        EXPECT_EQ(FindAudioFormat(code), nullptr) << code;
}

TEST(ImaDecode, HandComputedMonoBlock) {
    const AudioFormat& f = *FindAudioFormat(5);
    // Codes 7, 8, 3, F from step index 0, then zeros walking the index down.
    const auto pcm = Decode(f, MonoBlock(f, 1000, 0, {0x87, 0xF3}));
    ASSERT_EQ(pcm.size(), 505u);
    const std::vector<int16_t> expected = {1000, 1011, 1009, 1020, 997,  1000, 1003,
                                           1005, 1007, 1009, 1011, 1013, 1014, 1015,
                                           1016, 1017, 1018, 1019, 1020, 1020};
    EXPECT_EQ(std::vector<int16_t>(pcm.begin(), pcm.begin() + 20), expected);
    for (size_t i = 20; i < pcm.size(); ++i)
        ASSERT_EQ(pcm[i], 1020) << i;
}

TEST(ImaDecode, SamplesClampAtBothEnds) {
    const AudioFormat& f = *FindAudioFormat(4);
    // From index 88 (step 32767) code 7 overshoots the top; two F codes then
    // undershoot the bottom.
    const auto pcm = Decode(f, MonoBlock(f, 32760, 88, {0xF7, 0x0F}));
    ASSERT_EQ(pcm.size(), 1017u);
    EXPECT_EQ(pcm[0], 32760);
    EXPECT_EQ(pcm[1], 32767);
    EXPECT_EQ(pcm[2], 32767 - 61436);
    EXPECT_EQ(pcm[3], -32768);
    // Code 0 at index 88 then walks down from there.
    EXPECT_EQ(pcm[4], -32768 + (32767 >> 3));
}

// Every code at every step index from every sample: the table gives what
// the bit-sum rule gives, held to 16 bits.
TEST(ImaDecode, TableFollowsTheBitSumRule) {
    int wrong = 0;
    for (int i = 0; i <= codec::kImaMaxStepIndex; ++i)
        for (unsigned code = 0; code < 16; ++code)
            for (int sample = -32768; sample <= 32767; ++sample) {
                codec::ImaChannelState s{sample, i};
                const int rule = sample + codec::ImaStepDifference(i, code);
                wrong += s.Decode(code) != std::clamp(rule, -32768, 32767) ||
                         s.stepIndex != codec::ImaNextStepIndex(i, code);
            }
    EXPECT_EQ(wrong, 0);
}

TEST(ImaDecode, OutOfRangeStepIndexIsClamped) {
    const AudioFormat& f = *FindAudioFormat(2);
    const auto reference = Decode(f, MonoBlock(f, 0, 88, {0x21, 0x9A}));
    EXPECT_EQ(reference[1], (32767 >> 3) + (32767 >> 2));
    for (int index : {89, 120, 200, 255})
        EXPECT_EQ(Decode(f, MonoBlock(f, 0, index, {0x21, 0x9A})), reference) << index;
}

TEST(ImaDecode, StereoGroupsInterleave) {
    const AudioFormat& f = *FindAudioFormat(3);
    Bytes block = Header(100, 0);
    const Bytes right = Header(-100, 20);
    block.insert(block.end(), right.begin(), right.end());
    // First group: 4 bytes of left codes, then 4 of right codes.
    const Bytes group = {0x07, 0, 0, 0, 0x80, 0, 0, 0};
    block.insert(block.end(), group.begin(), group.end());
    block.resize(f.blockSize, 0);
    const auto pcm = Decode(f, block);
    ASSERT_EQ(pcm.size(), 2u * 1017u);
    // Frames: left 100, 111, 113; right -100, -94 (code 0, step 50), -99 (code 8, step 45).
    EXPECT_EQ((std::vector<int16_t>(pcm.begin(), pcm.begin() + 6)),
              (std::vector<int16_t>{100, -100, 111, -94, 113, -99}));
}

TEST(ImaDecode, OnlyWholeBlocksThatFit) {
    const AudioFormat& f = *FindAudioFormat(1);
    Bytes adpcm(f.blockSize * 2 + f.blockSize / 2, 0x11);
    Bytes pcm(f.PcmBlockBytes() * 3);
    EXPECT_EQ(DecodeImaBlocks(f, adpcm.data(), adpcm.size(), pcm.data(), pcm.size()),
              2u * f.PcmBlockBytes());
    EXPECT_EQ(DecodeImaBlocks(f, adpcm.data(), f.blockSize - 1, pcm.data(), pcm.size()), 0u);
    // Room for one block and a bit: one block.
    EXPECT_EQ(DecodeImaBlocks(f, adpcm.data(), adpcm.size(), pcm.data(), f.PcmBlockBytes() + 5),
              f.PcmBlockBytes());
}

std::vector<int16_t> Sine(const AudioFormat& f, size_t frames) {
    std::vector<int16_t> s(frames * f.channels);
    for (size_t i = 0; i < frames; ++i)
        for (unsigned c = 0; c < f.channels; ++c)
            s[i * f.channels + c] = static_cast<int16_t>(
                12000 * std::sin(2 * M_PI * (440.0 + 110 * c) * double(i) / f.sampleRate));
    return s;
}

TEST(ImaEncoder, RoundTripFollowsTheSignal) {
    for (int code = 1; code <= 5; ++code) {
        const AudioFormat& f = *FindAudioFormat(code);
        const size_t blocks = 3;
        const auto input = Sine(f, blocks * f.samplesPerBlock);
        codec::ImaEncoder encoder(f);
        Bytes adpcm(blocks * f.blockSize);
        for (size_t b = 0; b < blocks; ++b)
            encoder.EncodeBlock(input.data() + b * f.samplesPerBlock * f.channels,
                                adpcm.data() + b * f.blockSize);
        const auto output = Decode(f, adpcm);
        ASSERT_EQ(output.size(), input.size()) << code;
        // The coding error stays well below the signal's own change from
        // sample to sample, which is what sending no audio would cost.
        double error = 0, change = 0;
        for (size_t i = f.channels; i < input.size(); ++i) {
            const double d = double(output[i]) - input[i];
            const double s = double(input[i]) - input[i - f.channels];
            error += d * d;
            change += s * s;
        }
        EXPECT_LT(std::sqrt(error), 0.4 * std::sqrt(change)) << "format " << code;
        // Every block starts on the input's own sample, and the step index
        // carries over, so later blocks do not start from the smallest step.
        for (size_t b = 0; b < blocks; ++b)
            for (unsigned c = 0; c < f.channels; ++c)
                EXPECT_EQ(output[b * f.samplesPerBlock * f.channels + c],
                          input[b * f.samplesPerBlock * f.channels + c]);
        EXPECT_GT(adpcm[f.blockSize + 2], 20) << code;
    }
}

TEST(ImaDecoder, OpenConvertClose) {
    CountingHeap heap;
    {
        codec::ImaDecoder d(heap);
        for (int code : {0, 6, -48, 256}) {
            EXPECT_EQ(d.Open(code), kAcmNotPossible) << code;
            EXPECT_EQ(d.Format(), nullptr);
            EXPECT_EQ(heap.live, 0);
        }
        EXPECT_EQ(d.Convert(), kAcmNotPossible);

        ASSERT_EQ(d.Open(1), 0);
        const AudioFormat& f = *d.Format();
        EXPECT_EQ(f.code, 1);
        EXPECT_EQ(d.SourceSize(), 21u * 2048u);
        codec::ImaEncoder enc(f);
        const auto input = Sine(f, f.samplesPerBlock);
        enc.EncodeBlock(input.data(), d.Source());
        enc.EncodeBlock(input.data(), d.Source() + f.blockSize);
        d.SetSourceLength(2 * f.blockSize + 100);
        ASSERT_EQ(d.Convert(), 0);
        EXPECT_EQ(d.DestinationUsed(), 2u * 2041u * 4u);
        EXPECT_EQ(d.Destination()[0], uint8_t(input[0] & 0xFF));

        // A length past the source buffer is held to it.
        d.SetSourceLength(1u << 20);
        ASSERT_EQ(d.Convert(), 0);
        EXPECT_EQ(d.DestinationUsed(), 21u * 2041u * 4u);

        // Re-opening releases the first buffers.
        ASSERT_EQ(d.Open(5), 0);
        EXPECT_EQ(heap.live, 2);
        EXPECT_EQ(d.SourceSize(), 21u * 256u);
        d.Close();
        d.Close();
        EXPECT_EQ(heap.live, 0);
        EXPECT_EQ(d.Format(), nullptr);

        heap.failAfter = 1;
        EXPECT_EQ(d.Open(2), kMmNoMemory);
        EXPECT_EQ(d.Format(), nullptr);
        EXPECT_EQ(heap.live, 0);
        heap.failAfter = -1;
        ASSERT_EQ(d.Open(2), 0);
    }
    EXPECT_EQ(heap.live, 0);
}

} // namespace
