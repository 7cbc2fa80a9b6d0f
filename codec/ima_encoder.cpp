#include "codec/ima_encoder.h"

namespace codec {

unsigned ImaEncoder::EncodeSample(ImaChannelState& s, int target) {
    int diff = target - s.sample;
    unsigned code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int step = kImaStepTable[s.stepIndex];
    if (diff >= step) {
        code |= 4;
        diff -= step;
    }
    step >>= 1;
    if (diff >= step) {
        code |= 2;
        diff -= step;
    }
    step >>= 1;
    if (diff >= step) code |= 1;
    s.Decode(code);
    return code;
}

void ImaEncoder::EncodeBlock(const int16_t* frames, uint8_t* out) {
    const unsigned channels = format_.channels;
    ImaChannelState s[2];
    for (unsigned ch = 0; ch < channels; ++ch) {
        s[ch].sample = frames[ch];
        s[ch].stepIndex = stepIndex_[ch];
        uint8_t* h = out + 4 * ch;
        h[0] = static_cast<uint8_t>(frames[ch] & 0xFF);
        h[1] = static_cast<uint8_t>((frames[ch] >> 8) & 0xFF);
        h[2] = static_cast<uint8_t>(stepIndex_[ch]);
        h[3] = 0;
    }
    uint8_t* codes = out + 4 * channels;
    const unsigned samples = format_.samplesPerBlock - 1u;
    // Each channel's next 8 samples go into its own 4 bytes; mono is the
    // same layout with one channel.
    for (unsigned first = 1; first <= samples; first += 8) {
        for (unsigned ch = 0; ch < channels; ++ch) {
            for (unsigned i = 0; i < 8; i += 2) {
                const unsigned lo = EncodeSample(s[ch], frames[(first + i) * channels + ch]);
                const unsigned hi = EncodeSample(s[ch], frames[(first + i + 1) * channels + ch]);
                *codes++ = static_cast<uint8_t>(lo | (hi << 4));
            }
        }
    }
    for (unsigned ch = 0; ch < channels; ++ch)
        stepIndex_[ch] = s[ch].stepIndex;
}

} // namespace codec
