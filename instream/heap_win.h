// The stream plug-in's own platform objects: the private heap every buffer of
// a playback comes from, and the critical section that guards the PCM queue.
// Handles and sockets are held by base/owners_win.h's owners.
#pragma once

#include "base/heap.h"
#include "base/owners_win.h"
#include "instream/pcm_queue.h"

namespace instream {

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
    void Enter() override { cs_.Enter(); }
    void Leave() override { cs_.Leave(); }

  private:
    CriticalSection cs_;
};

} // namespace instream
