#include "codec/ima_adpcm.h"

#include "base/errors.h"

namespace codec {

namespace {

constexpr AudioFormat kFormats[] = {
    {1, 2, 44100, 44251, 2048, 2041, 176400, 4}, {2, 1, 44100, 22125, 1024, 2041, 88200, 2},
    {3, 2, 22050, 22201, 1024, 1017, 88200, 4},  {4, 1, 22050, 11100, 512, 1017, 44100, 2},
    {5, 1, 11025, 5588, 256, 505, 22050, 2},
};

// Every row's block holds its header plus one 4-bit code per further sample.
constexpr bool RowsConsistent() {
    for (const AudioFormat& f : kFormats) {
        if (f.blockSize != f.channels * 4 + (f.samplesPerBlock - 1) * f.channels / 2) return false;
        if ((f.samplesPerBlock - 1) % 8 != 0) return false;
        if (f.pcmFrameBytes != f.channels * 2) return false;
    }
    return true;
}
static_assert(RowsConsistent());

// Both results of every code at every step index, in one word so that a
// sample costs one load: the difference times 128 plus the next step index.
constexpr int kNextIndexBits = 7;
static_assert(kImaMaxStepIndex < (1 << kNextIndexBits));

struct CodeTable {
    int32_t entry[kImaMaxStepIndex + 1][16];
};

constexpr CodeTable BuildCodeTable() {
    CodeTable t{};
    for (int index = 0; index <= kImaMaxStepIndex; ++index)
        for (unsigned code = 0; code < 16; ++code)
            t.entry[index][code] = ImaStepDifference(index, code) * (1 << kNextIndexBits) +
                                   ImaNextStepIndex(index, code);
    return t;
}

constexpr CodeTable kCodeTable = BuildCodeTable();

inline void Put16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

inline void ReadHeader(const uint8_t* h, ImaChannelState& s) {
    s.sample = static_cast<int16_t>(static_cast<uint16_t>(h[0] | (h[1] << 8)));
    // Damaged headers carry indexes past the table; the codec clamps them.
    s.stepIndex = h[2] > kImaMaxStepIndex ? kImaMaxStepIndex : h[2];
}

// One channel's 4 bytes of a group: 8 samples, low nibble first, into every
// frame's slot of that channel.
template <unsigned kChannels>
inline void DecodeGroup(ImaChannelState& s, const uint8_t* codes, uint8_t* out) {
    constexpr unsigned kFrame = 2 * kChannels;
    for (unsigned i = 0; i < 4; ++i, out += 2 * kFrame) {
        Put16(out, s.Decode(codes[i] & 0x0F));
        Put16(out + kFrame, s.Decode(codes[i] >> 4));
    }
}

// Mono is the stereo layout with one channel: headers, then per group each
// channel's 4 bytes in turn.
template <unsigned kChannels>
void DecodeBlock(const AudioFormat& f, const uint8_t* in, uint8_t* out) {
    constexpr unsigned kFrame = 2 * kChannels;
    ImaChannelState s[kChannels];
    for (unsigned ch = 0; ch < kChannels; ++ch) {
        ReadHeader(in + 4 * ch, s[ch]);
        Put16(out + 2 * ch, s[ch].sample);
    }
    const uint8_t* codes = in + 4 * kChannels;
    out += kFrame;
    for (unsigned g = (f.samplesPerBlock - 1u) / 8; g > 0; --g, out += 8 * kFrame)
        for (unsigned ch = 0; ch < kChannels; ++ch, codes += 4)
            DecodeGroup<kChannels>(s[ch], codes, out + 2 * ch);
}

} // namespace

int ImaChannelState::Decode(unsigned code) {
    const int32_t entry = kCodeTable.entry[stepIndex][code & 0x0F];
    sample += entry >> kNextIndexBits;
    if (sample < -32768) sample = -32768;
    if (sample > 32767) sample = 32767;
    stepIndex = entry & ((1 << kNextIndexBits) - 1);
    return sample;
}

const AudioFormat* FindAudioFormat(int code) {
    for (const AudioFormat& f : kFormats)
        if (f.code == code) return &f;
    return nullptr;
}

size_t DecodeImaBlocks(const AudioFormat& format, const uint8_t* src, size_t srcBytes, uint8_t* dst,
                       size_t dstBytes) {
    const size_t pcmPerBlock = format.PcmBlockBytes();
    size_t written = 0;
    while (srcBytes >= format.blockSize && dstBytes - written >= pcmPerBlock) {
        if (format.channels == 2)
            DecodeBlock<2>(format, src, dst + written);
        else
            DecodeBlock<1>(format, src, dst + written);
        src += format.blockSize;
        srcBytes -= format.blockSize;
        written += pcmPerBlock;
    }
    return written;
}

int32_t ImaDecoder::Open(int code) {
    Close();
    const AudioFormat* f = FindAudioFormat(code);
    if (!f) return kAcmNotPossible;
    const uint32_t sourceSize = kMaxBlocksPerDatagram * f->blockSize;
    const uint32_t destinationSize = kMaxBlocksPerDatagram * f->PcmBlockBytes();
    source_ = static_cast<uint8_t*>(heap_.Allocate(sourceSize));
    destination_ = static_cast<uint8_t*>(heap_.Allocate(destinationSize));
    if (!source_ || !destination_) {
        Close();
        return kMmNoMemory;
    }
    format_ = f;
    sourceSize_ = sourceSize;
    destinationSize_ = destinationSize;
    return kNoError;
}

int32_t ImaDecoder::Convert() {
    if (!format_) return kAcmNotPossible;
    destinationUsed_ = static_cast<uint32_t>(
        DecodeImaBlocks(*format_, source_, sourceLength_, destination_, destinationSize_));
    return kNoError;
}

void ImaDecoder::Close() {
    heap_.Free(source_);
    heap_.Free(destination_);
    source_ = destination_ = nullptr;
    format_ = nullptr;
    sourceSize_ = sourceLength_ = destinationSize_ = destinationUsed_ = 0;
}

} // namespace codec
