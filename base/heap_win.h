// The private heap a playback's buffers come from, held by its owner.
#pragma once

#include "base/heap.h"
#include "base/owners_win.h"

// A growable private heap; every buffer of a playback comes from it.
class PrivateHeap final : public Heap {
  public:
    PrivateHeap() : h_(HeapCreate(0, 1 << 20, 0)) {}
    PrivateHeap(const PrivateHeap&) = delete;
    PrivateHeap& operator=(const PrivateHeap&) = delete;

    explicit operator bool() const { return static_cast<bool>(h_); }
    void* Allocate(size_t bytes) override {
        return h_ ? HeapAlloc(h_.Get(), HEAP_ZERO_MEMORY, bytes ? bytes : 1) : nullptr;
    }
    void Free(void* block) override {
        if (h_ && block) HeapFree(h_.Get(), 0, block);
    }
    // Bytes in the blocks now allocated.
    size_t BusyBytes() const {
        size_t busy = 0;
        PROCESS_HEAP_ENTRY e{};
        if (!h_ || !HeapLock(h_.Get())) return 0;
        while (HeapWalk(h_.Get(), &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
        HeapUnlock(h_.Get());
        return busy;
    }

  private:
    HeapOwner h_;
};
