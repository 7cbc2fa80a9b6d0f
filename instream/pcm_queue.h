// Decoded PCM on its way from the network thread to the decode thread: a
// first-in first-out list of blocks under one lock, and the chunk reader that
// cuts it into the output's 576-frame chunks.
#pragma once

#include <cstdint>

#include "base/heap.h"
#include "base/lock.h"

namespace instream {

struct PcmBlock {
    uint8_t* data = nullptr; // from the queue's heap
    uint32_t length = 0;
};

class PcmQueue {
  public:
    PcmQueue(Heap& heap, Lock& lock) : heap_(heap), lock_(lock) {}
    ~PcmQueue() { Clear(); }
    PcmQueue(const PcmQueue&) = delete;
    PcmQueue& operator=(const PcmQueue&) = delete;

    // Copies `length` bytes into a new block at the tail. False when the heap
    // is out of memory; an empty copy is not queued and counts as done.
    bool PushCopy(const uint8_t* data, uint32_t length);
    // Appends a block taken from this queue's heap; the queue owns it after.
    // When the queue then holds more than its limit, the oldest blocks are
    // dropped until it fits again (the newest block always stays), so a
    // flood or a peer running ahead costs a short skip, never memory.
    bool Push(PcmBlock block);
    // Unlinks the head; the block then belongs to the caller (FreeBlock).
    bool Pop(PcmBlock& block);
    void FreeBlock(PcmBlock& block);
    // Frees every queued block.
    void Clear();
    bool Empty();

    // The most PCM bytes held at once; 0 (the default) sets no limit.
    void SetLimit(uint32_t bytes);
    uint32_t QueuedBytes();
    // Blocks dropped to keep within the limit since the last Clear.
    uint32_t Dropped();

  private:
    struct Node {
        PcmBlock block;
        Node* next;
        Node* previous;
    };

    Heap& heap_;
    Lock& lock_;
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    uint32_t bytes_ = 0;
    uint32_t limit_ = 0;
    uint32_t dropped_ = 0;
};

// The queue's limit for a format: this many seconds of its PCM.
constexpr uint32_t kQueueSeconds = 4;

constexpr uint32_t kChunkFrames = 576;

// Milliseconds one chunk lasts, as the decoded position counts it: 13 at
// 44100 Hz, whether the chunk was whole or not.
inline uint32_t ChunkDurationMs(uint32_t sampleRate) {
    return sampleRate ? kChunkFrames * 1000u / sampleRate : 0;
}

// Hands out the queue's PCM one chunk at a time, across block boundaries.
// Used by the decode thread alone.
class ChunkReader {
  public:
    explicit ChunkReader(PcmQueue& queue) : queue_(queue) {}
    ~ChunkReader() { Reset(0); }
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // Drops the block being read and any partial chunk; sets the chunk size.
    void Reset(uint32_t chunkBytes);
    uint32_t ChunkBytes() const { return chunkBytes_; }
    // Bytes of the current chunk already handed out by earlier takes.
    uint32_t Pending() const { return pending_; }

    // Places at most the rest of the current chunk at `destination` and
    // returns how many bytes that was, or -1 when the queue had nothing. A
    // take that runs dry part way returns what it placed; the next take
    // delivers the remainder of the same chunk.
    int32_t TakeChunk(uint8_t* destination);

  private:
    PcmQueue& queue_;
    PcmBlock current_;
    bool haveBlock_ = false;
    uint32_t readPosition_ = 0;
    uint32_t pending_ = 0;
    uint32_t chunkBytes_ = 0;
};

} // namespace instream
