// PCM from whatever the sound source gives (the capture's float or integer
// samples, any channel count and rate) to the 16-bit PCM of the stream's
// format: stereo is kept as it is; more channels are mixed down to stereo at
// the usual weights (centre and surrounds at -3 dB, the low-frequency
// channel left out), so a film's dialogue on the centre is heard; mono
// takes the mean of the two sides, and a mono source fills both sides of
// stereo. The rate is changed by linear interpolation. Equal rates and channel counts of 16-bit
// samples pass through unchanged, sample for sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/ima_adpcm.h"

namespace agent {

enum class SampleType { Int16, Int24, Int32, Float32 };

struct PcmInputFormat {
    SampleType type = SampleType::Int16;
    uint16_t channels = 0;
    uint32_t rate = 0;
    // Which speaker each channel feeds, the platform's speaker bits in
    // channel order; 0: the usual layout for the channel count.
    uint32_t channelMask = 0;

    size_t SampleBytes() const;
    size_t FrameBytes() const { return SampleBytes() * channels; }
    bool Valid() const { return channels >= 1 && channels <= 32 && rate >= 1000 && rate <= 768000; }
};

class PcmConverter {
  public:
    PcmConverter(const PcmInputFormat& in, const codec::AudioFormat& out);

    // Takes `frames` interleaved little-endian input frames.
    void Push(const uint8_t* data, size_t frames);
    // Output frames ready to be taken.
    size_t Available() const { return (samples_.size() - head_) / out_.channels; }
    // Copies up to `frames` output frames (interleaved) to `out`; answers how many.
    size_t Take(int16_t* out, size_t frames);
    // Drops the oldest output frames so that at most `keep` remain.
    void KeepNewest(size_t keep);
    // Input frames that make at least `frames` more output frames.
    size_t InputFramesFor(size_t frames) const;

    const PcmInputFormat& Input() const { return in_; }
    // The source now gives another format (its device changed): what was
    // converted stays, and conversion goes on from the new format.
    void SetInput(const PcmInputFormat& in);

  private:
    float Sample(const uint8_t* p) const;

    PcmInputFormat in_;
    const codec::AudioFormat& out_;
    std::vector<int16_t> samples_; // output, from head_ on
    size_t head_ = 0;
    // Output frame n stands at input position n * in.rate / out.rate; it is
    // made once the input frame after that position has come.
    uint64_t inFrames_ = 0;
    uint64_t outFrames_ = 0;
    float previous_[2] = {0, 0};
    // Each input channel's share of the left and right output, when the
    // source has more than two channels.
    std::vector<float> toLeft_, toRight_;
};

// The left and right weights of each of `channels` channels laid out by
// `mask` (0: the usual layout for that many channels).
void DownmixWeights(uint16_t channels, uint32_t mask, std::vector<float>& toLeft,
                    std::vector<float>& toRight);

} // namespace agent
