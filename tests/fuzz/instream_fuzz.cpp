// The stream plug-in's readers of outside input: the location the player
// hands over, the ADPCM bytes a peer sends, and the session's handling of any
// sequence of datagrams. The first byte picks which; nothing may read out of
// bounds, and the PCM queue must hold exactly what the whole blocks decode to.
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "codec/ima_adpcm.h"
#include "instream/pcm_queue.h"
#include "instream/session.h"
#include "wire/location.h"

namespace {

class NullPort final : public instream::DatagramPort {
  public:
    int32_t Send(SendRecord, std::string_view text) override {
        if (text.size() > 49) __builtin_trap();
        return 0;
    }
    int32_t Receive(uint32_t) override { return 0; }
};

void FuzzLocation(const uint8_t* data, size_t size) {
    std::vector<char> in(data, data + size);
    const std::string_view name(in.data(), in.size());
    wire::StreamLocation loc;
    const bool parsed = wire::ParseStreamLocation(name, loc);
    if (parsed != wire::IsStreamLocation(name)) __builtin_trap();
    if (parsed && (loc.port == 0 || loc.addressText.size() > wire::kMaxAddressText))
        __builtin_trap();
    (void)wire::LocationTitle(name);
}

void FuzzDecoder(const uint8_t* data, size_t size) {
    if (size < 1) return;
    const codec::AudioFormat* f = codec::FindAudioFormat(data[0] % 7);
    if (!f) return;
    std::vector<uint8_t> src(data + 1, data + size);
    const size_t blocks = src.size() / f->blockSize;
    std::vector<uint8_t> dst(blocks * f->PcmBlockBytes());
    if (codec::DecodeImaBlocks(*f, src.data(), src.size(), dst.data(), dst.size()) != dst.size())
        __builtin_trap();
}

// The first byte mostly picks a good "OK~" answer, so that the audio path is
// reached; otherwise the first datagram is the answer. Datagrams are
// length-prefixed (one byte, times 16 for the larger ones).
void FuzzSession(const uint8_t* data, size_t size) {
    if (size < 1) return;
    const uint8_t pick = data[0];
    ++data;
    --size;
    Heap& heap = RuntimeHeap();
    Lock lock;
    instream::PcmQueue queue(heap, lock);
    codec::ImaDecoder decoder(heap);
    NullPort port;
    instream::SessionStatus status;
    instream::StreamSession session(port, decoder, queue, status);
    instream::ChunkReader reader(queue);
    reader.Reset(2304);
    std::vector<uint8_t> chunk(2304);

    session.Begin();
    session.OnSendComplete(0, 11);
    if (pick < 200) {
        const uint8_t answer[4] = {'o', 'K', '~', static_cast<uint8_t>('1' + pick % 5)};
        session.OnReceiveComplete(0, answer, 4);
        if (status.state != instream::SESSION_STREAMING) __builtin_trap();
    }
    size_t at = 0;
    uint64_t expected = 0, taken = 0;
    while (at + 2 <= size) {
        const bool paused = data[at] & 0x80;
        const size_t len = (data[at] & 0x40) ? size_t(data[at + 1]) * 16 : data[at + 1];
        at += 2;
        const size_t n = len < size - at ? len : size - at;
        std::vector<uint8_t> datagram(data + at, data + at + n);
        at += n;
        status.paused = paused;
        const codec::AudioFormat* f = status.format;
        const bool audio = status.state == instream::SESSION_STREAMING && n >= 30 && !paused;
        session.OnReceiveComplete(0, datagram.data(), static_cast<uint32_t>(datagram.size()));
        if (audio && f) {
            const size_t used = n < decoder.SourceSize() ? n : decoder.SourceSize();
            expected += used / f->blockSize * f->PcmBlockBytes();
        }
        for (int32_t got; (got = reader.TakeChunk(chunk.data())) > 0;)
            taken += uint32_t(got);
    }
    if (taken != expected) __builtin_trap();
    session.End();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    switch (data[0] % 3) {
    case 0:
        FuzzLocation(data + 1, size - 1);
        break;
    case 1:
        FuzzDecoder(data + 1, size - 1);
        break;
    default:
        FuzzSession(data + 1, size - 1);
        break;
    }
    return 0;
}
