#include "instream/ima_adpcm.h"

#include "base/errors.h"

namespace instream {

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

inline void Put16(uint8_t* p, int v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

inline void ReadHeader(const uint8_t* h, ImaChannelState& s) {
    s.sample = static_cast<int16_t>(static_cast<uint16_t>(h[0] | (h[1] << 8)));
    // Damaged headers carry indexes past the table; the codec clamps them.
    s.stepIndex = h[2] > kImaMaxStepIndex ? kImaMaxStepIndex : h[2];
}

void DecodeMonoBlock(const AudioFormat& f, const uint8_t* in, uint8_t* out) {
    ImaChannelState s;
    ReadHeader(in, s);
    Put16(out, s.sample);
    out += 2;
    const uint8_t* codes = in + 4;
    for (unsigned n = (f.samplesPerBlock - 1u) / 2; n > 0; --n, ++codes) {
        Put16(out, s.Decode(*codes & 0x0F));
        Put16(out + 2, s.Decode(*codes >> 4));
        out += 4;
    }
}

void DecodeStereoBlock(const AudioFormat& f, const uint8_t* in, uint8_t* out) {
    ImaChannelState s[2];
    ReadHeader(in, s[0]);
    ReadHeader(in + 4, s[1]);
    Put16(out, s[0].sample);
    Put16(out + 2, s[1].sample);
    out += 4;
    const uint8_t* codes = in + 8;
    for (unsigned g = (f.samplesPerBlock - 1u) / 8; g > 0; --g) {
        for (int ch = 0; ch < 2; ++ch) {
            for (int i = 0; i < 4; ++i, ++codes) {
                Put16(out + (2 * i) * 4 + ch * 2, s[ch].Decode(*codes & 0x0F));
                Put16(out + (2 * i + 1) * 4 + ch * 2, s[ch].Decode(*codes >> 4));
            }
        }
        out += 32;
    }
}

} // namespace

const int16_t kImaStepTable[kImaMaxStepIndex + 1] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

const int8_t kImaIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

int ImaChannelState::Decode(unsigned code) {
    code &= 0x0F;
    const int step = kImaStepTable[stepIndex];
    // The difference is built from shifted steps, not multiplied out: the
    // codec's rounding depends on it.
    int diff = step >> 3;
    if (code & 1) diff += step >> 2;
    if (code & 2) diff += step >> 1;
    if (code & 4) diff += step;
    sample += (code & 8) ? -diff : diff;
    if (sample < -32768) sample = -32768;
    if (sample > 32767) sample = 32767;
    stepIndex += kImaIndexTable[code];
    if (stepIndex < 0) stepIndex = 0;
    if (stepIndex > kImaMaxStepIndex) stepIndex = kImaMaxStepIndex;
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
            DecodeStereoBlock(format, src, dst + written);
        else
            DecodeMonoBlock(format, src, dst + written);
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
    const uint32_t sourceSize = kBlocksPerSource * f->blockSize;
    const uint32_t destinationSize = kBlocksPerSource * f->PcmBlockBytes();
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

} // namespace instream
