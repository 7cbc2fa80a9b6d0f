// Owning wrappers for the platform handles of the stream plug-in: kernel
// objects (threads, events), the private heap and the critical section
// (sockets: net/socket_win.h). Each is move-only and releases what it holds
// exactly once.
#pragma once

#include <windows.h>
#include <winsock2.h>

#include "instream/heap.h"
#include "instream/pcm_queue.h"
#include "net/socket_win.h"

namespace instream {

class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : h_(o.h_) { o.h_ = nullptr; }
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) {
            Reset();
            h_ = o.h_;
            o.h_ = nullptr;
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }

  private:
    HANDLE h_ = nullptr;
};

// A growable private heap; every buffer of a playback comes from it.
class PrivateHeap final : public Heap {
  public:
    PrivateHeap() : h_(HeapCreate(0, 1 << 20, 0)) {}
    ~PrivateHeap() override {
        if (h_) HeapDestroy(h_);
    }
    PrivateHeap(const PrivateHeap&) = delete;
    PrivateHeap& operator=(const PrivateHeap&) = delete;

    explicit operator bool() const { return h_ != nullptr; }
    void* Allocate(size_t bytes) override {
        return h_ ? HeapAlloc(h_, HEAP_ZERO_MEMORY, bytes ? bytes : 1) : nullptr;
    }
    void Free(void* block) override {
        if (h_ && block) HeapFree(h_, 0, block);
    }
    // Bytes in the blocks now allocated.
    size_t BusyBytes() const {
        size_t busy = 0;
        PROCESS_HEAP_ENTRY e{};
        if (!h_ || !HeapLock(h_)) return 0;
        while (HeapWalk(h_, &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
        HeapUnlock(h_);
        return busy;
    }

  private:
    HANDLE h_;
};

class CriticalSectionLock final : public QueueLock {
  public:
    CriticalSectionLock() { InitializeCriticalSection(&cs_); }
    ~CriticalSectionLock() override { DeleteCriticalSection(&cs_); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

    void Enter() override { EnterCriticalSection(&cs_); }
    void Leave() override { LeaveCriticalSection(&cs_); }

  private:
    CRITICAL_SECTION cs_;
};

} // namespace instream
