#include "agent/audio_stream.h"

#include <algorithm>

#include "agent/sessions.h"

namespace agent {

bool AudioStream::Start(uint32_t now) {
    if (!source_.Open() || !source_.Format().Valid()) return false;
    source_.Restart();
    converter_.emplace(source_.Format(), *format_);
    encoder_.emplace(*format_);
    start_ = now;
    sent_ = 0;
    cushioned_ = true;
    frames_.assign(FramesPerDatagram() * format_->channels, 0);
    datagram_.assign(size_t{format_->blockSize} * kBlocksPerDatagram, 0);
    return true;
}

void AudioStream::Stop() {
    encoder_.reset();
    converter_.reset();
}

uint32_t AudioStream::DueAt(uint64_t datagram) const {
    return start_ +
           static_cast<uint32_t>(datagram * FramesPerDatagram() * 1000 / format_->sampleRate);
}

void AudioStream::Produce(uint32_t now, const std::function<void(const uint8_t*, size_t)>& send) {
    if (!Running()) return;
    if (Reached(now, DueAt(sent_) + kMaxLagMs)) {
        start_ = now;
        sent_ = 0;
    }
    const size_t frames = FramesPerDatagram();
    while (Reached(now, DueAt(sent_))) {
        source_.Feed(*converter_, frames);
        converter_->KeepNewest(frames + format_->sampleRate / 2);
        if (converter_->Available() >= frames + format_->sampleRate / 10) cushioned_ = true;
        size_t got = 0;
        if (cushioned_ && (got = converter_->Take(frames_.data(), frames)) < frames)
            cushioned_ = false;
        std::fill(frames_.begin() + static_cast<ptrdiff_t>(got * format_->channels), frames_.end(),
                  0);
        for (int b = 0; b < kBlocksPerDatagram; ++b)
            encoder_->EncodeBlock(frames_.data() +
                                      size_t{format_->samplesPerBlock} * format_->channels * b,
                                  datagram_.data() + size_t{format_->blockSize} * b);
        send(datagram_.data(), datagram_.size());
        ++sent_;
    }
}

uint32_t AudioStream::MsUntilNext(uint32_t now, uint32_t limit) const {
    if (!Running()) return limit;
    const uint32_t due = DueAt(sent_);
    return Reached(now, due) ? 0 : std::min(limit, due - now);
}

} // namespace agent
