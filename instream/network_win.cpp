#include "instream/network_win.h"

#include <mswsock.h>

#include <cstring>

#include "base/errors.h"
#include "base/text.h"
#include "wire/location.h"

namespace instream {

bool StreamNetwork::Prepare(const char* location) {
    Release();
    CopyText(location_, location ? location : "");
    records_ = static_cast<Records*>(heap_.Allocate(sizeof(Records)));
    receiveBuffer_ = static_cast<uint8_t*>(heap_.Allocate(kReceiveBufferSize));
    stopping_ = false;
    peer_ = sockaddr_in{};
    return records_ && receiveBuffer_;
}

void StreamNetwork::Release() {
    heap_.Free(receiveBuffer_);
    heap_.Free(records_);
    receiveBuffer_ = nullptr;
    records_ = nullptr;
}

DWORD WINAPI StreamNetwork::ThreadEntry(void* self) {
    try {
        return static_cast<StreamNetwork*>(self)->Run();
    } catch (...) {
        return 1;
    }
}

DWORD StreamNetwork::Run() {
    wire::StreamLocation where;
    if (!records_ || !receiveBuffer_) {
        status_.error = kMmNoMemory;
    } else if (!(socket_ = UniqueSocket(
                     WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED)))) {
        status_.error = WSAGetLastError();
    } else if (!wire::ParseStreamLocation(location_, where) || !where.addressValid) {
        // Never send to an address we could not read (inet_addr would make it
        // the broadcast address).
        status_.error = kWsaAddrNotAvail;
    } else {
        peer_.sin_family = AF_INET;
        peer_.sin_port = htons(where.port);
        peer_.sin_addr.s_addr = htonl(where.address);
        // A "port unreachable" that comes back for one of our sends would
        // otherwise fail the next receive with a reset: a peer that briefly
        // closed its port must not end the stream.
        BOOL reportResets = FALSE;
        DWORD returned = 0;
        WSAIoctl(socket_.Get(), SIO_UDP_CONNRESET, &reportResets, sizeof reportResets, nullptr, 0,
                 &returned, nullptr, nullptr);
        if (session_.Begin() == kNoError) {
            // The stop event was reset by Play before this thread began, so a
            // Stop at any moment since is seen here. A wait that fails leaves
            // too: it would fail again at once, for ever.
            while (WaitForSingleObjectEx(stopEvent_, INFINITE, TRUE) == WAIT_IO_COMPLETION) {
            }
            stopping_ = true;
            // "CLOSE_STREAM" has a record of its own: a "PING_OK" may still
            // be pending in a session record.
            if (session_.SendClose() == kNoError)
                RunCompletions(500, [this] { return !records_->close.pending; });
        }
    }
    stopping_ = true;
    if (socket_) {
        socket_.Reset();
        // Closing cancels the pending operations; their completions still
        // come through this thread, and only after them are the buffers free.
        RunCompletions(1000, [this] { return !AnyPending(); });
    }
    session_.End();
    return 0;
}

template <class Done> void StreamNetwork::RunCompletions(DWORD ms, Done done) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < ms)
        SleepEx(10, TRUE);
}

bool StreamNetwork::AnyPending() const {
    if (!records_) return false;
    for (const IoRecord& r : records_->sends)
        if (r.pending) return true;
    return records_->close.pending || records_->receive.pending;
}

int32_t StreamNetwork::Send(SendRecord which, std::string_view text) {
    if (!records_ || !socket_) return WSAENOTSOCK;
    IoRecord* record = nullptr;
    char* data = nullptr;
    if (which == SendRecord::Close) {
        record = &records_->close;
        data = records_->closeData;
    } else {
        for (int i = 0; i < kSessionSends && !record; ++i) {
            if (!records_->sends[i].pending) {
                record = &records_->sends[i];
                data = records_->sendData[i];
            }
        }
    }
    if (!record || record->pending) return WSAENOBUFS;
    const size_t length = text.size() < kSendCapacity ? text.size() : kSendCapacity;
    std::memset(data, 0, kSendCapacity);
    std::memcpy(data, text.data(), length);
    std::memset(&record->overlapped, 0, sizeof record->overlapped);
    record->owner = this;
    record->buffer.buf = data;
    record->buffer.len = static_cast<ULONG>(length);
    DWORD sent = 0;
    if (WSASendTo(socket_.Get(), &record->buffer, 1, &sent, MSG_DONTROUTE,
                  reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_, &record->overlapped,
                  &StreamNetwork::Completion) != 0) {
        const int error = WSAGetLastError();
        if (error != WSA_IO_PENDING) return error;
    }
    record->pending = true;
    return kNoError;
}

int32_t StreamNetwork::Receive(uint32_t size) {
    if (!records_ || !socket_) return WSAENOTSOCK;
    if (size == 0 || size > kReceiveBufferSize) size = kReceiveBufferSize;
    IoRecord& record = records_->receive;
    std::memset(receiveBuffer_, 0, size);
    std::memset(&record.overlapped, 0, sizeof record.overlapped);
    record.owner = this;
    record.buffer.buf = reinterpret_cast<char*>(receiveBuffer_);
    record.buffer.len = size;
    // A reset left over from an earlier send fails the call at once and is
    // consumed by it; the next attempt receives as usual.
    for (int attempt = 0;; ++attempt) {
        DWORD received = 0;
        records_->fromLength = sizeof(sockaddr_in);
        records_->flags = 0;
        if (WSARecvFrom(socket_.Get(), &record.buffer, 1, &received, &records_->flags,
                        reinterpret_cast<sockaddr*>(&records_->from), &records_->fromLength,
                        &record.overlapped, &StreamNetwork::Completion) == 0)
            break;
        // A datagram already waiting and too long for the buffer fails the
        // call with WSAEMSGSIZE, yet its completion is queued all the same.
        const int error = WSAGetLastError();
        if (error == WSA_IO_PENDING || error == WSAEMSGSIZE) break;
        if (error != WSAECONNRESET || attempt == 3) return error;
    }
    record.pending = true;
    return kNoError;
}

void CALLBACK StreamNetwork::Completion(DWORD error, DWORD bytes, LPWSAOVERLAPPED overlapped,
                                        DWORD /*flags*/) {
    auto* record = reinterpret_cast<IoRecord*>(overlapped);
    record->pending = false;
    try {
        record->owner->OnCompletion(record, error, bytes);
    } catch (...) {
    }
}

void StreamNetwork::OnCompletion(IoRecord* record, DWORD error, DWORD bytes) {
    if (stopping_) return;
    const auto code = static_cast<int32_t>(error);
    if (record == &records_->receive) {
        // Every later send goes to whoever sent the last datagram. Copied here,
        // on this thread, rather than received straight into the address a
        // send may be reading.
        if ((code == kNoError || code == kWsaMsgSize) && bytes > 0) peer_ = records_->from;
        if (bytes > records_->receive.buffer.len) bytes = records_->receive.buffer.len;
        session_.OnReceiveComplete(code, receiveBuffer_, bytes);
    } else if (record != &records_->close) {
        session_.OnSendComplete(code, bytes);
    }
}

} // namespace instream
