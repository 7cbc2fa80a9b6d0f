// The stream every listener gets: sound from a source, converted to the
// stream's format, encoded to IMA ADPCM and cut into datagrams of whole
// blocks that fall due at real-time pace by the clock. One encoding serves
// all listeners; a listener who joins later starts mid-stream, which IMA
// ADPCM allows since every block carries its own decoder state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "agent/pcm_convert.h"
#include "codec/ima_encoder.h"

namespace agent {

// Where the sound comes from: the computer's output (the capture), or a file.
class SoundSource {
  public:
    virtual ~SoundSource() = default;
    // False when there is no sound to be had. Opening an open source, or
    // closing a closed one, does nothing.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // The input's format; valid once opened.
    virtual const PcmInputFormat& Format() const = 0;
    // A new stream begins: a file from its start, a capture with what comes next.
    virtual void Restart() = 0;
    // Pushes input until the converter holds `frames` output frames, or as
    // much as there is now.
    virtual void Feed(PcmConverter& converter, size_t frames) = 0;
    // The user chose another device (the sound source setting); a source
    // that is not a device ignores it.
    virtual void Choose(const std::string& /*device*/) {}
};

class AudioStream {
  public:
    static constexpr int kBlocksPerDatagram = 2; // about 46 ms of sound per block in every format
    // A schedule this far behind (the machine was suspended) starts again
    // rather than sending the whole backlog at once.
    static constexpr uint32_t kMaxLagMs = 1000;

    AudioStream(const codec::AudioFormat& format, SoundSource& source)
        : format_(&format), source_(source) {}

    // Opens the source and starts the schedule at `now` with the first
    // datagram due at once; false when the source does not open. Stopping
    // leaves the source open; its owner closes it.
    bool Start(uint32_t now);
    void Stop();
    bool Running() const { return encoder_.has_value(); }

    // Encodes every datagram due at `now` and hands each to `send`. Sound the
    // source does not deliver in time is silence; sound it delivers beyond
    // half a second ahead is dropped, oldest first, so a capture that runs
    // faster than this clock never builds up delay.
    void Produce(uint32_t now, const std::function<void(const uint8_t*, size_t)>& send);
    // Milliseconds until the next datagram is due (at most `limit`).
    uint32_t MsUntilNext(uint32_t now, uint32_t limit) const;

    const codec::AudioFormat& Format() const { return *format_; }
    // Another quality, for the next stream: while stopped only.
    void SetFormat(const codec::AudioFormat& format) {
        if (!Running()) format_ = &format;
    }
    size_t FramesPerDatagram() const {
        return size_t{format_->samplesPerBlock} * kBlocksPerDatagram;
    }

  private:
    uint32_t DueAt(uint64_t datagram) const;

    const codec::AudioFormat* format_;
    SoundSource& source_;
    std::optional<codec::ImaEncoder> encoder_;
    std::optional<PcmConverter> converter_;
    uint32_t start_ = 0;
    uint64_t sent_ = 0;
    // A sound device hands its sound over in bursts: once the converter ran
    // dry, datagrams are taken from it again only when it holds a tenth of
    // a second more than one, so a late burst costs one short gap instead
    // of a gap at every datagram. A source that never runs dry (a file)
    // streams without delay.
    bool cushioned_ = true;
    std::vector<int16_t> frames_;
    std::vector<uint8_t> datagram_;
};

} // namespace agent
