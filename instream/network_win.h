// The network thread of a playback: one overlapped UDP socket whose sends and
// receives all complete through one completion routine, run inside this
// thread's alertable wait on the stop event. The protocol itself is
// StreamSession's; this is its socket.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include "base/heap_win.h"
#include "instream/session.h"
#include "wire/location.h"

namespace instream {

class StreamNetwork final : public DatagramPort {
  public:
    static constexpr uint32_t kReceiveBufferSize = StreamSession::kDefaultReceiveSize;

    StreamNetwork(Heap& heap, codec::ImaDecoder& decoder, PcmQueue& queue, SessionStatus& status,
                  HANDLE stopEvent /* not owned */)
        : heap_(heap), session_(*this, decoder, queue, status), status_(status),
          stopEvent_(stopEvent) {}
    ~StreamNetwork() override { Release(); }
    StreamNetwork(const StreamNetwork&) = delete;
    StreamNetwork& operator=(const StreamNetwork&) = delete;

    // Takes this playback's location and buffers. False when the heap has no room.
    bool Prepare(const char* location);
    // Frees the buffers; only once the thread has ended.
    void Release();
    // The event whose signal ends the thread (not owned); set before it starts.
    void SetStopEvent(HANDLE stopEvent) { stopEvent_ = stopEvent; }

    // The thread's entry; the parameter is the StreamNetwork.
    static DWORD WINAPI ThreadEntry(void* self);

    int32_t Send(SendRecord record, std::string_view text) override;
    int32_t Receive(uint32_t size) override;

  private:
    struct IoRecord {
        WSAOVERLAPPED overlapped; // first, so the completion's pointer leads back here
        StreamNetwork* owner;
        WSABUF buffer;
        bool pending;
    };
    static constexpr int kSessionSends = 4;
    static constexpr uint32_t kSendCapacity = StreamSession::kSendCapacity;
    // Everything the socket writes into or reads from, in one heap block.
    struct Records {
        IoRecord sends[kSessionSends];
        char sendData[kSessionSends][kSendCapacity];
        IoRecord close;
        char closeData[kSendCapacity];
        IoRecord receive;
        sockaddr_in from;
        INT fromLength;
        DWORD flags;
    };

    static void CALLBACK Completion(DWORD error, DWORD bytes, LPWSAOVERLAPPED overlapped,
                                    DWORD flags);
    DWORD Run();
    void OnCompletion(IoRecord* record, DWORD error, DWORD bytes);
    bool AnyPending() const;
    // Runs queued completions for up to `ms`, until `done` says stop.
    template <class Done> void RunCompletions(DWORD ms, Done done);

    Heap& heap_;
    StreamSession session_;
    SessionStatus& status_;
    HANDLE stopEvent_; // not owned
    char location_[wire::kMaxLocation + 1] = {};
    Records* records_ = nullptr;
    uint8_t* receiveBuffer_ = nullptr;
    UniqueSocket socket_;
    sockaddr_in peer_ = {};
    bool stopping_ = false;
};

} // namespace instream
