#include "base/heap.h"

#include <cstdlib>

namespace {

class RuntimeHeapImpl final : public Heap {
  public:
    void* Allocate(size_t bytes) override { return std::calloc(bytes ? bytes : 1, 1); }
    void Free(void* block) override { std::free(block); }
};

} // namespace

Heap& RuntimeHeap() {
    static RuntimeHeapImpl heap;
    return heap;
}
