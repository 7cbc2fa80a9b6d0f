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

PcmConverter::PcmConverter(const PcmInputFormat& in, const instream::AudioFormat& out)
    : in_(in), out_(out) {}

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
        const float left = Sample(data);
        const float right = in_.channels > 1 ? Sample(data + sampleBytes) : left;
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
