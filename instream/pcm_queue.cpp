#include "instream/pcm_queue.h"

#include <cstring>

namespace instream {

bool PcmQueue::PushCopy(const uint8_t* data, uint32_t length) {
    if (length == 0) return true;
    PcmBlock block{static_cast<uint8_t*>(heap_.Allocate(length)), length};
    if (!block.data) return false;
    std::memcpy(block.data, data, length);
    if (Push(block)) return true;
    FreeBlock(block);
    return false;
}

bool PcmQueue::Push(PcmBlock block) {
    auto* node = static_cast<Node*>(heap_.Allocate(sizeof(Node)));
    if (!node) return false;
    node->block = block;
    node->next = nullptr;
    Node* dropped = nullptr; // unlinked under the lock, freed outside it
    {
        Guard guard(lock_);
        node->previous = tail_;
        if (tail_)
            tail_->next = node;
        else
            head_ = node;
        tail_ = node;
        bytes_ += block.length;
        while (limit_ && bytes_ > limit_ && head_ != tail_) {
            Node* old = head_;
            head_ = old->next;
            head_->previous = nullptr;
            bytes_ -= old->block.length;
            ++dropped_;
            old->next = dropped;
            dropped = old;
        }
    }
    while (dropped) {
        Node* next = dropped->next;
        heap_.Free(dropped->block.data);
        heap_.Free(dropped);
        dropped = next;
    }
    return true;
}

bool PcmQueue::Pop(PcmBlock& block) {
    Node* node;
    {
        Guard guard(lock_);
        node = head_;
        if (!node) return false;
        head_ = node->next;
        if (head_)
            head_->previous = nullptr;
        else
            tail_ = nullptr;
        bytes_ -= node->block.length;
    }
    block = node->block;
    heap_.Free(node);
    return true;
}

void PcmQueue::SetLimit(uint32_t bytes) {
    Guard guard(lock_);
    limit_ = bytes;
}

uint32_t PcmQueue::QueuedBytes() {
    Guard guard(lock_);
    return bytes_;
}

uint32_t PcmQueue::Dropped() {
    Guard guard(lock_);
    return dropped_;
}

void PcmQueue::FreeBlock(PcmBlock& block) {
    heap_.Free(block.data);
    block = PcmBlock{};
}

void PcmQueue::Clear() {
    PcmBlock block;
    while (Pop(block))
        FreeBlock(block);
    Guard guard(lock_);
    dropped_ = 0;
}

bool PcmQueue::Empty() {
    Guard guard(lock_);
    return head_ == nullptr;
}

void ChunkReader::Reset(uint32_t chunkBytes) {
    if (haveBlock_) queue_.FreeBlock(current_);
    haveBlock_ = false;
    readPosition_ = 0;
    pending_ = 0;
    chunkBytes_ = chunkBytes;
}

int32_t ChunkReader::TakeChunk(uint8_t* destination) {
    uint32_t placed = 0;
    for (;;) {
        const uint32_t needed = chunkBytes_ - pending_;
        if (!haveBlock_) {
            if (!queue_.Pop(current_)) return placed > 0 ? static_cast<int32_t>(placed) : -1;
            haveBlock_ = true;
            readPosition_ = 0;
        }
        const uint32_t remaining = current_.length - readPosition_;
        if (remaining >= needed) {
            std::memcpy(destination + placed, current_.data + readPosition_, needed);
            readPosition_ += needed;
            pending_ = 0;
            return static_cast<int32_t>(placed + needed);
        }
        // The block ends inside this chunk: hand out its rest and go on with
        // the next block, remembering how much of the chunk is out already.
        if (remaining > 0)
            std::memcpy(destination + placed, current_.data + readPosition_, remaining);
        placed += remaining;
        pending_ += remaining;
        queue_.FreeBlock(current_);
        haveBlock_ = false;
    }
}

} // namespace instream
