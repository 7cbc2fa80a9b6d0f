// The stream session's protocol: the handshake that fixes the audio format,
// audio datagrams decoded into the PCM queue, "PING" answered with
// "PING_OK", and "CLOSE_STREAM" from either end. The network thread drives it
// from its completion routine; the socket work itself sits behind
// DatagramPort.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "codec/ima_adpcm.h"
#include "instream/pcm_queue.h"

namespace instream {

enum SessionState : int32_t {
    SESSION_HANDSHAKE = 0,
    SESSION_CLOSED = 1,
    SESSION_STREAMING = 2,
    SESSION_DENIED = 3,
};

// What the network thread, the decode thread and the player's thread share
// without a lock: single words, each written by one side.
struct SessionStatus {
    std::atomic<int32_t> state{SESSION_HANDSHAKE};
    std::atomic<int32_t> error{0};
    std::atomic<int32_t> handshakeFinished{0};
    std::atomic<int32_t> paused{0};
    // Set once the decode thread has ended (or could not start): nobody
    // takes PCM from the queue any more, so none is put in.
    std::atomic<int32_t> decodeEnded{0};
    // The opened format; set before handshakeFinished, so the decode thread
    // reads it once it sees the handshake finished.
    std::atomic<const codec::AudioFormat*> format{nullptr};

    void Reset() {
        state = SESSION_HANDSHAKE;
        error = 0;
        handshakeFinished = 0;
        paused = 0;
        decodeEnded = 0;
        format = nullptr;
    }
};

// The overlapped UDP socket of the session, as the protocol sees it.
class DatagramPort {
  public:
    // Every send of the network thread's own goes through the session record;
    // "CLOSE_STREAM" at stop has a record of its own, so it never reuses the
    // buffer of a send that may still be pending.
    enum class SendRecord { Session, Close };

    virtual ~DatagramPort() = default;
    // Sends the text (no terminating zero) to the peer address. 0 also when
    // the send is still pending, else the socket error.
    virtual int32_t Send(SendRecord record, std::string_view text) = 0;
    // Posts a receive of up to `size` bytes (0: the default 46000). 0 also
    // when pending, else the socket error.
    virtual int32_t Receive(uint32_t size) = 0;
};

class StreamSession {
  public:
    static constexpr uint32_t kDefaultReceiveSize = 46000;
    static constexpr uint32_t kSendCapacity = 50;
    // Answers and control texts are read up to this many characters.
    static constexpr size_t kMaxAnswerText = 49;

    StreamSession(DatagramPort& port, codec::ImaDecoder& decoder, PcmQueue& queue,
                  SessionStatus& status)
        : port_(port), decoder_(decoder), queue_(queue), status_(status) {}

    // Sends "OPEN_STREAM" and waits for its completion. Returns (and keeps
    // as the session error) the send's result.
    int32_t Begin();
    // Completions of the session's own sends and of its receives. `data`
    // holds the received bytes (`bytes` of them, or fewer when the buffer was
    // zeroed past them). Completions of the close record never come here.
    // While streaming, only "CLOSE_STREAM" or a receive that cannot be
    // posted again ends the receiving: a stray datagram of any kind, an
    // empty one, or the reset that a returning "port unreachable" causes is
    // passed over.
    void OnSendComplete(int32_t error, uint32_t bytes);
    void OnReceiveComplete(int32_t error, const uint8_t* data, uint32_t bytes);
    // Sends "CLOSE_STREAM" through the close record; the result is the send's.
    int32_t SendClose();
    // The network thread's way out: closes the decoder and releases whoever
    // waits for the handshake.
    void End();

    int HandshakeStep() const { return handshakeStep_; }

  private:
    bool CompletionFailed(int32_t error, uint32_t bytes);
    void OnAnswer(std::string_view answer);
    void OnStreamDatagram(const uint8_t* data, uint32_t bytes);
    int32_t PostAudioReceive() { return port_.Receive(decoder_.SourceSize()); }

    DatagramPort& port_;
    codec::ImaDecoder& decoder_;
    PcmQueue& queue_;
    SessionStatus& status_;
    int handshakeStep_ = 0;
};

// The text of an answer or control datagram, cut at its first zero byte and
// at kMaxAnswerText characters, upper-cased (ASCII letters only) into `out`.
std::string_view UpperText(const uint8_t* data, uint32_t bytes,
                           char (&out)[StreamSession::kMaxAnswerText + 1]);

} // namespace instream
