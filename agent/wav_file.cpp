#include "agent/wav_file.h"

#include <algorithm>
#include <cstring>

namespace agent {

namespace {

constexpr uint16_t kWavePcm = 1;
constexpr uint16_t kWaveFloat = 3;
constexpr uint16_t kWaveExtensible = 0xFFFE;

uint32_t Read16(const uint8_t* p) {
    return p[0] | static_cast<uint32_t>(p[1]) << 8;
}
uint32_t Read32(const uint8_t* p) {
    return Read16(p) | Read16(p + 2) << 16;
}

} // namespace

bool ReadWaveFormat(const uint8_t* p, size_t size, PcmInputFormat& f) {
    if (size < 16) return false;
    uint32_t tag = Read16(p);
    const uint32_t bits = Read16(p + 14);
    // The extensible format names the real one in its sub-format's first
    // word, and the speakers its channels feed.
    f.channelMask = 0;
    if (tag == kWaveExtensible) {
        f.channelMask = size >= 24 ? Read32(p + 20) : 0;
        tag = size >= 26 ? Read16(p + 24) : 0;
    }
    if (tag == kWavePcm && bits == 16)
        f.type = SampleType::Int16;
    else if (tag == kWavePcm && bits == 24)
        f.type = SampleType::Int24;
    else if (tag == kWavePcm && bits == 32)
        f.type = SampleType::Int32;
    else if (tag == kWaveFloat && bits == 32)
        f.type = SampleType::Float32;
    else
        return false;
    f.channels = static_cast<uint16_t>(Read16(p + 2));
    f.rate = Read32(p + 4);
    return f.Valid() && Read16(p + 12) == f.FrameBytes();
}

bool ParseWav(const uint8_t* data, size_t size, WavAudio& out) {
    if (!data || size < 12 || std::memcmp(data, "RIFF", 4) || std::memcmp(data + 8, "WAVE", 4))
        return false;
    bool haveFormat = false;
    for (size_t at = 12; size - at >= 8;) {
        const uint32_t chunk = Read32(data + at + 4);
        const size_t body = at + 8;
        // A last chunk longer than the file (a recording cut short) is read as far as it goes.
        const size_t length = std::min<size_t>(chunk, size - body);
        if (!std::memcmp(data + at, "fmt ", 4)) {
            haveFormat = ReadWaveFormat(data + body, length, out.format);
            if (!haveFormat) return false;
        } else if (!std::memcmp(data + at, "data", 4) && haveFormat) {
            const size_t whole = length - length % out.format.FrameBytes();
            out.frames.assign(data + body, data + body + whole);
            return out.FrameCount() > 0;
        }
        if (length < chunk || size - body - length < (chunk & 1)) break;
        at = body + length + (chunk & 1);
    }
    return false;
}

void WavSource::Feed(PcmConverter& converter, size_t frames) {
    const size_t total = audio_.FrameCount();
    const size_t frameBytes = audio_.format.FrameBytes();
    while (total && converter.Available() < frames) {
        if (next_ >= total) next_ = 0;
        const size_t n =
            std::min(total - next_,
                     std::max<size_t>(1, converter.InputFramesFor(frames - converter.Available())));
        converter.Push(audio_.frames.data() + next_ * frameBytes, n);
        next_ += n;
    }
}

} // namespace agent
