#include "instream/playback.h"

#include "base/errors.h"

namespace instream {

void DecodeLoop::Reset() {
    ReleaseBuffer();
    reader_.Reset(0);
    format_ = nullptr;
    position_ = 0;
    silence_ = false;
    silenceStart_ = 0;
    handshakeWait_ = false;
    opened_ = outputOpen_ = draining_ = false;
}

void DecodeLoop::ReleaseBuffer() {
    heap_.Free(buffer_);
    buffer_ = nullptr;
}

void DecodeLoop::Run(const std::atomic<int32_t>& kill) {
    for (bool running = true; running && kill == 0;) {
        switch (Step()) {
        case Next::Again:
            break;
        case Next::Sleep10:
            clock_.Sleep(10);
            break;
        case Next::Sleep20:
            clock_.Sleep(20);
            break;
        case Next::End:
            running = false;
            break;
        }
    }
    status_.decodeEnded = 1;
}

DecodeLoop::Next DecodeLoop::Step() {
    if (draining_) {
        output_.CanWrite(); // lets the output move its buffers on; the answer is not needed
        if (!output_.IsPlaying()) {
            output_.PostEndOfFile();
            return Next::End;
        }
        return Next::Sleep10;
    }
    if (outputOpen_) {
        // A DSP may return up to twice the samples it is given.
        const int needed = static_cast<int>(reader_.ChunkBytes()) * (output_.DspIsActive() ? 2 : 1);
        if (output_.CanWrite() >= needed) return Play();
    }
    return Wait();
}

DecodeLoop::Next DecodeLoop::Play() {
    const int32_t taken = reader_.TakeChunk(buffer_);
    if (taken < 0) {
        if (status_.paused) {
            // Paused audio is dropped, so an empty queue says nothing about
            // the peer: the silence rule waits for the pause to end.
            silence_ = false;
        } else if (!silence_) {
            silenceStart_ = clock_.TickCount();
            silence_ = true;
        } else if (clock_.TickCount() - silenceStart_ > wire::kStreamSilenceMs ||
                   status_.error > 0 || status_.state == SESSION_CLOSED) {
            draining_ = true;
        }
        return Next::Sleep20;
    }
    const int channels = format_->channels;
    const int bits = codec::AudioFormat::kBitsPerSample;
    const int rate = static_cast<int>(format_->sampleRate);
    output_.SAAddPCMData(buffer_, channels, bits, position_);
    silence_ = false;
    output_.VSAAddPCMData(buffer_, channels, bits, position_);
    position_ += static_cast<int32_t>(ChunkDurationMs(format_->sampleRate));
    int length = taken;
    if (output_.DspIsActive()) {
        const int frameBytes = channels * (bits / 8);
        length = output_.DspDoSamples(reinterpret_cast<short*>(buffer_), length / frameBytes, bits,
                                      channels, rate) *
                 frameBytes;
        // The buffer holds two chunks; a DSP claiming more is not believed.
        const int capacity = static_cast<int>(2 * reader_.ChunkBytes());
        if (length < 0) length = 0;
        if (length > capacity) length = capacity;
    }
    output_.Write(reinterpret_cast<char*>(buffer_), length);
    return Next::Again;
}

DecodeLoop::Next DecodeLoop::Wait() {
    if (status_.paused) silence_ = false;
    if (!status_.handshakeFinished) {
        if (!handshakeWait_) {
            handshakeStart_ = clock_.TickCount();
            handshakeWait_ = true;
        } else if (clock_.TickCount() - handshakeStart_ > wire::kStreamSilenceMs) {
            // No answer to "OPEN_STREAM": the track ends as a silent stream does.
            status_.error = kWsaTimedOut;
            output_.PostEndOfFile();
            return Next::End;
        }
        return Next::Sleep20;
    }
    if (status_.handshakeFinished && !opened_) {
        opened_ = true;
        if (status_.error != 0) return Next::End;
        // The network thread also finishes the handshake on its way out;
        // without a format there is nothing to play.
        format_ = status_.format;
        if (!format_) return Next::End;
        const uint32_t chunkBytes = kChunkFrames * format_->pcmFrameBytes;
        buffer_ = static_cast<uint8_t*>(heap_.Allocate(2 * chunkBytes));
        if (!buffer_) return Next::End;
        reader_.Reset(chunkBytes);
        const int channels = format_->channels;
        const int bits = codec::AudioFormat::kBitsPerSample;
        const int rate = static_cast<int>(format_->sampleRate);
        const int maxLatency = output_.Open(rate, channels, bits, -1, -1);
        if (maxLatency < 0) return Next::End;
        outputOpen_ = true;
        output_.SetInfo(bits * channels * rate / 8192, rate / 1000, channels, 1);
        output_.SAVSAInit(maxLatency, rate);
        output_.VSASetInfo(rate, channels);
        output_.SetVolume(-666);
    }
    return Next::Sleep20;
}

} // namespace instream
