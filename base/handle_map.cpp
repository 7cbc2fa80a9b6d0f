#include "base/handle_map.h"

namespace {

constexpr size_t kFirstCapacity = 16;

size_t Home(uintptr_t key, size_t capacity) {
    // Window handles come in runs of near numbers: spread them.
    return static_cast<size_t>((uint64_t{key} * 0x9E3779B97F4A7C15ull) >> 32) & (capacity - 1);
}

} // namespace

size_t HandleMap::IndexOf(uintptr_t key) const {
    const size_t capacity = slots_.size();
    for (size_t i = capacity ? Home(key, capacity) : 0, n = 0; n < capacity;
         i = (i + 1) & (capacity - 1), ++n) {
        const Slot& s = slots_[i];
        if (s.state == State::kEmpty) break;
        if (s.state == State::kUsed && s.key == key) return i;
    }
    return kNone;
}

void* HandleMap::Find(uintptr_t key) const {
    const size_t i = IndexOf(key);
    return i == kNone ? nullptr : slots_[i].value;
}

void HandleMap::Set(uintptr_t key, void* value) {
    if (!value) return Remove(key);
    if (const size_t i = IndexOf(key); i != kNone) {
        slots_[i].value = value;
        return;
    }
    // At most three quarters taken, removed slots counted: probes stay short
    // and always end at an empty slot.
    if ((size_ + removed_ + 1) * 4 > slots_.size() * 3) {
        const size_t capacity = slots_.size();
        Rebuild(!capacity ? kFirstCapacity : (size_ + 1) * 2 > capacity ? capacity * 2 : capacity);
    }
    size_t i = Home(key, slots_.size());
    while (slots_[i].state == State::kUsed)
        i = (i + 1) & (slots_.size() - 1);
    if (slots_[i].state == State::kRemoved) --removed_;
    slots_[i] = {key, value, State::kUsed};
    ++size_;
}

void HandleMap::Remove(uintptr_t key) {
    if (const size_t i = IndexOf(key); i != kNone) {
        slots_[i] = {0, nullptr, State::kRemoved};
        --size_;
        ++removed_;
    }
}

void HandleMap::Rebuild(size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(slots_);
    size_ = removed_ = 0;
    for (const Slot& s : old)
        if (s.state == State::kUsed) Set(s.key, s.value);
}
