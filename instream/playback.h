// The decode thread's loop: waits for the handshake, opens the player's
// output once, hands it the queued PCM a chunk at a time (through the
// visualisation and the DSP), and ends the track when the stream has ended
// and the output has played out.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/heap.h"
#include "instream/pcm_queue.h"
#include "instream/session.h"
#include "wire/protocol.h"

namespace instream {

// The player's output module together with the visualisation, DSP and
// information hooks of the input module, as the loop uses them.
class PlaybackOutput {
  public:
    virtual ~PlaybackOutput() = default;
    virtual int Open(int sampleRate, int channels, int bits, int bufferLenMs, int prebufferMs) = 0;
    virtual int Write(char* buffer, int length) = 0;
    virtual int CanWrite() = 0;
    virtual int IsPlaying() = 0;
    virtual void SetVolume(int volume) = 0;
    virtual void SetInfo(int bitrate, int sampleRate, int stereo, int synched) = 0;
    virtual void SAVSAInit(int maxLatencyMs, int sampleRate) = 0;
    virtual void SAAddPCMData(void* pcm, int channels, int bits, int timestamp) = 0;
    virtual void VSAAddPCMData(void* pcm, int channels, int bits, int timestamp) = 0;
    virtual void VSASetInfo(int sampleRate, int channels) = 0;
    virtual int DspIsActive() = 0;
    virtual int DspDoSamples(short* samples, int frames, int bits, int channels,
                             int sampleRate) = 0;
    // Posts WM_WA_MPEG_EOF to the player's main window.
    virtual void PostEndOfFile() = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;
};

class DecodeLoop {
  public:
    enum class Next { Again, Sleep10, Sleep20, End };
    // A peer silent for kStreamSilenceMs ends the track, whether it never
    // answered "OPEN_STREAM" or stopped sending audio.

    DecodeLoop(PlaybackOutput& output, Clock& clock, SessionStatus& status, PcmQueue& queue,
               Heap& heap)
        : output_(output), clock_(clock), status_(status), reader_(queue), heap_(heap) {}
    ~DecodeLoop() { ReleaseBuffer(); }
    DecodeLoop(const DecodeLoop&) = delete;
    DecodeLoop& operator=(const DecodeLoop&) = delete;

    // Back to the start of a playback: position 0, output not open, no
    // silence, no partial chunk, no sample buffer.
    void Reset();
    // One turn of the loop, and what to do before the next.
    Next Step();
    // Turns until `kill` is set or the loop ends itself.
    void Run(const std::atomic<int32_t>& kill);
    // Frees the sample buffer (two chunks, allocated when the output opens).
    void ReleaseBuffer();

    // Milliseconds of audio handed to the output so far.
    int32_t DecodedPosition() const { return position_; }
    bool OutputOpen() const { return outputOpen_; }
    bool Draining() const { return draining_; }

  private:
    Next Play();
    Next Wait();

    PlaybackOutput& output_;
    Clock& clock_;
    SessionStatus& status_;
    ChunkReader reader_;
    Heap& heap_;
    const codec::AudioFormat* format_ = nullptr;
    uint8_t* buffer_ = nullptr;
    std::atomic<int32_t> position_{0};
    uint32_t silenceStart_ = 0;
    bool silence_ = false;
    uint32_t handshakeStart_ = 0;
    bool handshakeWait_ = false; // handshakeStart_ is set
    bool opened_ = false;        // the one attempt to open the output was made
    bool outputOpen_ = false;    // ... and succeeded
    bool draining_ = false;
};

} // namespace instream
