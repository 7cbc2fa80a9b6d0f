#include "instream/session.h"

#include <cstring>

#include "base/errors.h"
#include "wire/protocol.h"

namespace instream {

std::string_view UpperText(const uint8_t* data, uint32_t bytes,
                           char (&out)[StreamSession::kMaxAnswerText + 1]) {
    size_t n = 0;
    for (; n < bytes && n < StreamSession::kMaxAnswerText && data[n] != 0; ++n) {
        const char c = static_cast<char>(data[n]);
        out[n] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    out[n] = 0;
    return std::string_view(out, n);
}

int32_t StreamSession::Begin() {
    status_.state = SESSION_HANDSHAKE;
    handshakeStep_ = 0;
    const int32_t error = port_.Send(DatagramPort::SendRecord::Session, wire::kOpenStream);
    status_.error = error;
    return error;
}

bool StreamSession::CompletionFailed(int32_t error, uint32_t bytes) {
    // A datagram cut short by WSAEMSGSIZE still counts, with the bytes that fit.
    if ((error != kNoError && error != kWsaMsgSize) || bytes == 0) {
        status_.error = kWsaConnReset;
        return true;
    }
    return false;
}

void StreamSession::OnSendComplete(int32_t error, uint32_t bytes) {
    if (CompletionFailed(error, bytes)) return;
    if (status_.state == SESSION_HANDSHAKE && handshakeStep_ == 0) {
        // "OPEN_STREAM" is out: listen for the answer.
        handshakeStep_ = 1;
        status_.error = port_.Receive(0);
    }
}

void StreamSession::OnReceiveComplete(int32_t error, const uint8_t* data, uint32_t bytes) {
    if (status_.state == SESSION_STREAMING &&
        (error == kWsaConnReset || (error == kNoError && bytes == 0))) {
        status_.error = PostAudioReceive();
        return;
    }
    if (CompletionFailed(error, bytes)) return;
    switch (status_.state) {
    case SESSION_HANDSHAKE:
        if (handshakeStep_ == 1) {
            char text[kMaxAnswerText + 1];
            OnAnswer(UpperText(data, bytes, text));
        }
        break;
    case SESSION_STREAMING:
        OnStreamDatagram(data, bytes);
        break;
    default:
        break;
    }
}

void StreamSession::OnAnswer(std::string_view answer) {
    if (answer == wire::kDeny) {
        status_.error = kWsaConnRefused;
        status_.state = SESSION_DENIED;
    } else if (answer.substr(0, wire::kOk.size()) == wire::kOk) {
        // A missing digit reads as the terminating zero and fails the open.
        const char digit = answer.size() > wire::kOk.size() ? answer[wire::kOk.size()] : '\0';
        int32_t error = decoder_.Open(digit - '0');
        if (error == kNoError) {
            queue_.SetLimit(kQueueSeconds * decoder_.Format()->pcmBytesPerSecond);
            status_.format = decoder_.Format();
            error = PostAudioReceive();
            if (error == kNoError) status_.state = SESSION_STREAMING;
        }
        status_.error = error;
    } else {
        status_.error = kWsaConnRefused;
    }
    status_.handshakeFinished = 1;
}

void StreamSession::OnStreamDatagram(const uint8_t* data, uint32_t bytes) {
    if (bytes >= wire::kMinAudioDatagram) {
        // Paused audio, and audio nobody will play, is dropped, not queued.
        const bool paused = status_.paused != 0 || status_.decodeEnded != 0;
        if (!paused) {
            // Copy out before the receive buffer is posted again.
            const uint32_t length = bytes < decoder_.SourceSize() ? bytes : decoder_.SourceSize();
            std::memcpy(decoder_.Source(), data, length);
            decoder_.SetSourceLength(length);
        }
        status_.error = PostAudioReceive();
        if (paused) return;
        const int32_t error = decoder_.Convert();
        status_.error = error;
        if (error == kNoError &&
            !queue_.PushCopy(decoder_.Destination(), decoder_.DestinationUsed()))
            status_.error = kMmNoMemory;
        return;
    }
    char buffer[kMaxAnswerText + 1];
    const std::string_view text = UpperText(data, bytes, buffer);
    if (text == wire::kPing) {
        const int32_t error = port_.Send(DatagramPort::SendRecord::Session, wire::kPingOk);
        status_.error = error;
        if (error == kNoError) {
            handshakeStep_ = 1;
            status_.error = PostAudioReceive();
        }
    } else if (text == wire::kCloseStream) {
        status_.state = SESSION_CLOSED;
    } else {
        // Any other text is not ours to answer, and ends nothing.
        status_.error = PostAudioReceive();
    }
}

int32_t StreamSession::SendClose() {
    return port_.Send(DatagramPort::SendRecord::Close, wire::kCloseStream);
}

void StreamSession::End() {
    decoder_.Close();
    status_.handshakeFinished = 1;
}

} // namespace instream
