// Where a playback's buffers come from. The stream plug-in hands in its private heap;
// tests and tools use the C runtime's.
#pragma once

#include <cstddef>

class Heap {
  public:
    virtual ~Heap() = default;
    // Zeroed memory, or null when there is none.
    virtual void* Allocate(size_t bytes) = 0;
    // Null is allowed and does nothing.
    virtual void Free(void* block) = 0;
};

// The C runtime heap.
Heap& RuntimeHeap();
