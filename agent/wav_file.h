// A WAV file as a sound source for tests and demos: RIFF/WAVE with PCM of
// 16, 24 or 32 bits or 32-bit float (plain or extensible format), read from
// its bytes; played in a loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "agent/audio_stream.h"
#include "agent/pcm_convert.h"

namespace agent {

struct WavAudio {
    PcmInputFormat format;
    std::vector<uint8_t> frames; // whole frames only
    size_t FrameCount() const {
        return format.FrameBytes() ? frames.size() / format.FrameBytes() : 0;
    }
};

// False for anything but a readable WAV file holding at least one frame.
bool ParseWav(const uint8_t* data, size_t size, WavAudio& out);

// A WAVEFORMATEX (or WAVEFORMATEXTENSIBLE) of `size` bytes, as a WAV file's
// format chunk holds it and as the platform describes its mix format; false
// for sample kinds the converter does not take.
bool ReadWaveFormat(const uint8_t* format, size_t size, PcmInputFormat& out);

// The file's frames over and over, from its first one at every restart.
class WavSource : public SoundSource {
  public:
    explicit WavSource(WavAudio audio) : audio_(std::move(audio)) {}
    bool Open() override { return audio_.FrameCount() > 0; }
    void Close() override {}
    const PcmInputFormat& Format() const override { return audio_.format; }
    void Restart() override { next_ = 0; }
    void Feed(PcmConverter& converter, size_t frames) override;

  private:
    WavAudio audio_;
    size_t next_ = 0;
};

} // namespace agent
