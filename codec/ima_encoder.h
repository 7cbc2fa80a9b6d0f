// An IMA ADPCM encoder for the peer simulator and the tests: makes blocks in
// the layout the decoder reads. The plug-in itself only decodes.
#pragma once

#include <cstdint>

#include "codec/ima_adpcm.h"

namespace codec {

class ImaEncoder {
  public:
    explicit ImaEncoder(const AudioFormat& format) : format_(format) {}

    // Encodes samplesPerBlock interleaved frames into blockSize bytes. The
    // step index carries over from block to block as a live encoder's would.
    void EncodeBlock(const int16_t* frames, uint8_t* out);

    const AudioFormat& Format() const { return format_; }

  private:
    // Chooses the code whose decoded sample comes closest, and advances `s` by it.
    static unsigned EncodeSample(ImaChannelState& s, int target);

    const AudioFormat& format_;
    int stepIndex_[2] = {0, 0};
};

} // namespace codec
