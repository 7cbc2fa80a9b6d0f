#include "agent/pcm_convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace agent {

size_t PcmInputFormat::SampleBytes() const {
    switch (type) {
    case SampleType::Int16:
        return 2;
    case SampleType::Int24:
        return 3;
    default:
        return 4;
    }
}

namespace {

// The platform's speaker bits, in the order channels carry them.
enum Speaker : uint32_t {
    kFrontLeft = 0x1,
    kFrontRight = 0x2,
    kFrontCentre = 0x4,
    kLowFrequency = 0x8,
    kBackLeft = 0x10,
    kBackRight = 0x20,
    kFrontLeftOfCentre = 0x40,
    kFrontRightOfCentre = 0x80,
    kBackCentre = 0x100,
    kSideLeft = 0x200,
    kSideRight = 0x400,
    kTopCentre = 0x800,
    kTopFrontLeft = 0x1000,
    kTopFrontCentre = 0x2000,
    kTopFrontRight = 0x4000,
    kTopBackLeft = 0x8000,
    kTopBackCentre = 0x10000,
    kTopBackRight = 0x20000,
};

constexpr float kMinus3dB = 0.70710678f;

// The layouts the platform's mixer uses when a device names none.
uint32_t UsualLayout(uint16_t channels) {
    switch (channels) {
    case 1:
        return kFrontCentre;
    case 2:
        return kFrontLeft | kFrontRight;
    case 3:
        return kFrontLeft | kFrontRight | kFrontCentre;
    case 4:
        return kFrontLeft | kFrontRight | kBackLeft | kBackRight;
    case 5:
        return kFrontLeft | kFrontRight | kFrontCentre | kBackLeft | kBackRight;
    case 6:
        return kFrontLeft | kFrontRight | kFrontCentre | kLowFrequency | kBackLeft | kBackRight;
    case 7:
        return kFrontLeft | kFrontRight | kFrontCentre | kLowFrequency | kBackCentre | kSideLeft |
               kSideRight;
    default:
        return kFrontLeft | kFrontRight | kFrontCentre | kLowFrequency | kBackLeft | kBackRight |
               kSideLeft | kSideRight;
    }
}

} // namespace

void DownmixWeights(uint16_t channels, uint32_t mask, std::vector<float>& toLeft,
                    std::vector<float>& toRight) {
    struct Share {
        uint32_t speaker;
        float left, right;
    };
    static constexpr Share kShares[] = {
        {kFrontLeft, 1, 0},
        {kFrontRight, 0, 1},
        {kFrontCentre, kMinus3dB, kMinus3dB},
        {kLowFrequency, 0, 0},
        {kBackLeft, kMinus3dB, 0},
        {kBackRight, 0, kMinus3dB},
        {kFrontLeftOfCentre, 1, 0},
        {kFrontRightOfCentre, 0, 1},
        {kBackCentre, 0.5f, 0.5f},
        {kSideLeft, kMinus3dB, 0},
        {kSideRight, 0, kMinus3dB},
        {kTopCentre, 0.5f, 0.5f},
        {kTopFrontLeft, kMinus3dB, 0},
        {kTopFrontCentre, 0.5f, 0.5f},
        {kTopFrontRight, 0, kMinus3dB},
        {kTopBackLeft, 0.5f, 0},
        {kTopBackCentre, 0.35355339f, 0.35355339f},
        {kTopBackRight, 0, 0.5f},
    };
    if (mask == 0) mask = UsualLayout(channels);
    toLeft.assign(channels, 0);
    toRight.assign(channels, 0);
    // Channels take the mask's speakers in bit order; channels beyond them
    // feed no speaker and are left out.
    size_t channel = 0;
    for (const Share& s : kShares) {
        if (channel == channels) break;
        if (!(mask & s.speaker)) continue;
        toLeft[channel] = s.left;
        toRight[channel] = s.right;
        ++channel;
    }
}

PcmConverter::PcmConverter(const PcmInputFormat& in, const codec::AudioFormat& out) : out_(out) {
    SetInput(in);
}

void PcmConverter::SetInput(const PcmInputFormat& in) {
    in_ = in;
    toLeft_.clear();
    toRight_.clear();
    if (in_.channels > 2) DownmixWeights(in_.channels, in_.channelMask, toLeft_, toRight_);
    // Positions count from the new format's first frame on.
    inFrames_ = 0;
    outFrames_ = 0;
}

// One sample in the scale of 16-bit PCM.
float PcmConverter::Sample(const uint8_t* p) const {
    switch (in_.type) {
    case SampleType::Int16:
        return static_cast<float>(static_cast<int16_t>(p[0] | (p[1] << 8)));
    case SampleType::Int24:
        return static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 |
                                                       static_cast<uint32_t>(p[1]) << 16 |
                                                       static_cast<uint32_t>(p[2]) << 24)) /
               65536.0f;
    case SampleType::Int32:
        return static_cast<float>(static_cast<int32_t>(p[0] | static_cast<uint32_t>(p[1]) << 8 |
                                                       static_cast<uint32_t>(p[2]) << 16 |
                                                       static_cast<uint32_t>(p[3]) << 24)) /
               65536.0f;
    case SampleType::Float32: {
        float f;
        std::memcpy(&f, p, sizeof f);
        return std::isfinite(f) ? f * 32768.0f : 0.0f;
    }
    }
    return 0;
}

void PcmConverter::Push(const uint8_t* data, size_t frames) {
    const size_t sampleBytes = in_.SampleBytes();
    const unsigned outChannels = out_.channels;
    for (size_t i = 0; i < frames; ++i, data += in_.FrameBytes()) {
        float current[2];
        float left = 0, right = 0;
        if (in_.channels > 2) {
            for (unsigned ch = 0; ch < in_.channels; ++ch) {
                if (toLeft_[ch] == 0 && toRight_[ch] == 0) continue;
                const float s = Sample(data + ch * sampleBytes);
                left += s * toLeft_[ch];
                right += s * toRight_[ch];
            }
        } else {
            left = Sample(data);
            right = in_.channels > 1 ? Sample(data + sampleBytes) : left;
        }
        if (outChannels == 1) {
            current[0] = in_.channels > 1 ? (left + right) / 2 : left;
        } else {
            current[0] = left;
            current[1] = right;
        }
        // Every output frame whose position lies in [inFrames_ - 1, inFrames_).
        const uint64_t end = inFrames_ * out_.sampleRate;
        while (inFrames_ > 0 && outFrames_ * in_.rate < end) {
            const uint64_t at = outFrames_ * in_.rate; // input position times out.rate
            const float t = static_cast<float>(at - (end - out_.sampleRate)) /
                            static_cast<float>(out_.sampleRate);
            for (unsigned c = 0; c < outChannels; ++c) {
                const float v = previous_[c] + (current[c] - previous_[c]) * t;
                samples_.push_back(
                    static_cast<int16_t>(std::lrint(std::clamp(v, -32768.0f, 32767.0f))));
            }
            ++outFrames_;
        }
        std::copy(current, current + outChannels, previous_);
        ++inFrames_;
    }
}

size_t PcmConverter::Take(int16_t* out, size_t frames) {
    frames = std::min(frames, Available());
    const size_t n = frames * out_.channels;
    std::copy_n(samples_.begin() + static_cast<ptrdiff_t>(head_), n, out);
    head_ += n;
    if (head_ == samples_.size()) {
        samples_.clear();
        head_ = 0;
    } else if (head_ > 1 << 16) {
        samples_.erase(samples_.begin(), samples_.begin() + static_cast<ptrdiff_t>(head_));
        head_ = 0;
    }
    return frames;
}

void PcmConverter::KeepNewest(size_t keep) {
    if (Available() > keep) head_ = samples_.size() - keep * out_.channels;
}

size_t PcmConverter::InputFramesFor(size_t frames) const {
    // Output frame m needs input frame floor(m * in / out) + 1.
    const uint64_t last = outFrames_ + frames - 1;
    const uint64_t needed = last * in_.rate / out_.sampleRate + 2;
    return needed > inFrames_ ? static_cast<size_t>(needed - inFrames_) : 0;
}

} // namespace agent
