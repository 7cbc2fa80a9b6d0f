// A small open-addressing map from a handle's value to an object, for
// look-ups on every window message: no allocation per look-up, linear
// probing, and removed slots swept away when the table is rebuilt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class HandleMap {
  public:
    // Null when `key` holds nothing.
    void* Find(uintptr_t key) const;
    // Replaces what `key` held; a null value removes it.
    void Set(uintptr_t key, void* value);
    void Remove(uintptr_t key);
    size_t Size() const { return size_; }

  private:
    enum class State : uint8_t { kEmpty, kUsed, kRemoved };
    struct Slot {
        uintptr_t key = 0;
        void* value = nullptr;
        State state = State::kEmpty;
    };
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t IndexOf(uintptr_t key) const; // kNone when absent
    void Rebuild(size_t capacity);

    std::vector<Slot> slots_; // a power of two of them, or none
    size_t size_ = 0, removed_ = 0;
};
