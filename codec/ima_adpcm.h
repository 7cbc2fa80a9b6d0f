// IMA ADPCM as the stream carries it: the five audio formats the peer may
// choose, and the decoder that turns whole blocks of them into 16-bit PCM,
// sample for sample what the platform's own IMA ADPCM codec produces.
//
// Block layout (WAVE_FORMAT_IMA_ADPCM): per channel a 4-byte header (first
// sample, 16-bit little-endian; step index; a reserved byte), then groups of
// 4 bytes per channel in turn, each holding 8 samples, low nibble first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/heap.h"

namespace codec {

struct AudioFormat {
    int code;
    uint16_t channels;
    uint32_t sampleRate;
    uint32_t adpcmBytesPerSecond;
    uint16_t blockSize;
    uint16_t samplesPerBlock;
    uint32_t pcmBytesPerSecond;
    uint16_t pcmFrameBytes;

    static constexpr uint16_t kBitsPerSample = 16;
    // Bytes of PCM one block decodes to.
    uint32_t PcmBlockBytes() const { return uint32_t{samplesPerBlock} * pcmFrameBytes; }
};

// The row of a format code from the peer's "OK~" answer; null outside 1 to 5.
const AudioFormat* FindAudioFormat(int code);

constexpr int kImaMaxStepIndex = 88;
inline constexpr int16_t kImaStepTable[kImaMaxStepIndex + 1] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
inline constexpr int8_t kImaIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8,
                                              -1, -1, -1, -1, 2, 4, 6, 8};

// The signed sample difference of a 4-bit code at a step index. It is a sum
// of shifted steps, not the step multiplied out: the codec's rounding
// depends on it. Bit 3 is the sign.
constexpr int ImaStepDifference(int stepIndex, unsigned code) {
    const int step = kImaStepTable[stepIndex];
    int diff = step >> 3;
    if (code & 1) diff += step >> 2;
    if (code & 2) diff += step >> 1;
    if (code & 4) diff += step;
    return (code & 8) ? -diff : diff;
}

// The step index that follows a code, held inside the table.
constexpr int ImaNextStepIndex(int stepIndex, unsigned code) {
    const int next = stepIndex + kImaIndexTable[code & 0x0F];
    return next < 0 ? 0 : next > kImaMaxStepIndex ? kImaMaxStepIndex : next;
}

// One channel's decoder state. Decode applies one 4-bit code and returns the
// new sample, clamped to 16 bits; it reads both results of the code from a
// table made of the two rules above. The encoder uses the same step so both
// sides stay in step.
struct ImaChannelState {
    int sample = 0;
    int stepIndex = 0;

    int Decode(unsigned code);
};

// Decodes the whole blocks of `src` (a trailing part block is ignored) into
// interleaved little-endian 16-bit frames at `dst`, stopping early when `dst`
// (of `dstBytes`) cannot take another block. Returns the PCM bytes written.
size_t DecodeImaBlocks(const AudioFormat& format, const uint8_t* src, size_t srcBytes, uint8_t* dst,
                       size_t dstBytes);

// The most blocks one audio datagram of the stream may carry.
constexpr uint32_t kMaxBlocksPerDatagram = 21;

// The stream's conversion: a source buffer that one audio datagram is copied
// into and a destination buffer for its PCM, both sized for the largest
// datagram the peer may send and taken from the playback's heap.
class ImaDecoder {
  public:
    explicit ImaDecoder(Heap& heap) : heap_(heap) {}
    ~ImaDecoder() { Close(); }
    ImaDecoder(const ImaDecoder&) = delete;
    ImaDecoder& operator=(const ImaDecoder&) = delete;

    // 0, or kAcmNotPossible for a code outside 1 to 5, or kMmNoMemory.
    int32_t Open(int code);
    // Decodes the whole blocks of the source length. 0, or kAcmNotPossible
    // when not open.
    int32_t Convert();
    // Releases what Open took; a second Close does nothing.
    void Close();

    // The opened format (null before Open succeeds and after Close).
    const AudioFormat* Format() const { return format_; }
    uint8_t* Source() { return source_; }
    uint32_t SourceSize() const { return sourceSize_; }
    // Clamped to the source size.
    void SetSourceLength(uint32_t bytes) {
        sourceLength_ = bytes < sourceSize_ ? bytes : sourceSize_;
    }
    const uint8_t* Destination() const { return destination_; }
    uint32_t DestinationUsed() const { return destinationUsed_; }

  private:
    Heap& heap_;
    const AudioFormat* format_ = nullptr;
    uint8_t* source_ = nullptr;
    uint8_t* destination_ = nullptr;
    uint32_t sourceSize_ = 0;
    uint32_t sourceLength_ = 0;
    uint32_t destinationSize_ = 0;
    uint32_t destinationUsed_ = 0;
};

} // namespace codec
