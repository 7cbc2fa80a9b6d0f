// The agent's readers of outside input, picked by the first byte: datagrams
// to its request port ([sender][length][bytes] each, in any listening mode,
// with the user allowing some senders: only the plug-ins' words get answers,
// only the agent's own, and the listeners and consents stay bounded); a WAV
// file (an accepted one feeds every stream format); a player's playlist in
// the now-playing block (sent only whole, its length header its size).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "agent/announce.h"
#include "agent/request_handler.h"
#include "agent/wav_file.h"
#include "wire/protocol.h"
#include "wire/tagged_packet.h"

namespace {

using namespace agent;

struct Host final : AgentHost {
    bool ExportPlaylist(std::vector<uint8_t>& packet) override { return packet.assign(3, 0), true; }
    bool SoundAvailable() override { return true; }
};

void FuzzRequests(const uint8_t* data, size_t size) {
    AgentSettings settings;
    settings.listening = static_cast<ListeningMode>(size % 3);
    Host host;
    RequestHandler handler(settings, host);
    const std::string_view allowed[] = {wire::kDeny, kGranted, "OK~1", {"\0\0\0", 3}};
    for (size_t at = 0, now = 0; at + 2 <= size; now += 700) {
        const Endpoint from{0x7F000000u | data[at], static_cast<uint16_t>(data[at] + 1)};
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        std::vector<uint8_t> datagram(data + at + 2, data + at + 2 + length);
        at += 2 + length;
        const auto answer = handler.OnDatagram(datagram.data(), length, from, uint32_t(now));
        const std::string_view text(reinterpret_cast<const char*>(answer.data()), answer.size());
        const auto request = ReadRequest(datagram.data(), length); // the three with answers:
        const bool asked = request >= Request::GetPlaylist && request <= Request::OpenStream;
        if (!answer.empty() && (!asked || std::count(allowed, allowed + 4, text) == 0))
            __builtin_trap();
        if (length % 5 == 2) handler.Names().Heard(from.address, "PC", "", uint32_t(now));
        if (length % 7 == 3) handler.Allow({"PC", from.address});
        if (handler.Listeners().All().size() > ListenerTable::kMaxListeners ||
            handler.Consents().Offers().size() > Consent::kMaxOffers ||
            handler.Consents().Allowed().size() > Consent::kMaxAllowed)
            __builtin_trap();
    }
}

void FuzzWav(const uint8_t* data, size_t size) {
    std::vector<uint8_t> in(data, data + size);
    WavAudio audio;
    if (!ParseWav(in.data(), in.size(), audio)) return;
    if (audio.FrameCount() == 0 || !audio.format.Valid()) __builtin_trap();
    WavSource source(audio);
    for (int code = wire::kMinFormatCode; code <= wire::kMaxFormatCode; ++code) {
        PcmConverter converter(source.Format(), *codec::FindAudioFormat(code));
        source.Feed(converter, 600);
        if (converter.Available() < 600) __builtin_trap();
    }
}

void FuzzBlock(const uint8_t* data, size_t size) {
    auto block = std::make_unique<NowPlayingBlock>();
    const size_t at = offsetof(NowPlayingBlock, playlistSize); // the size and the packet
    std::memcpy(reinterpret_cast<uint8_t*>(block.get()) + at, data,
                std::min(size, sizeof *block - at));
    std::vector<uint8_t> packet;
    CTaggedPacket check;
    if (PlaylistPacket(*block, packet) && (packet.size() != block->playlistSize ||
                                           packet.size() != size_t(packet[0] | packet[1] << 8) ||
                                           !check.Parse(packet.data(), packet.size())))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Fuzz = void (*)(const uint8_t*, size_t);
    const Fuzz fuzz[] = {FuzzRequests, FuzzWav, FuzzBlock};
    if (size >= 1) fuzz[data[0] % 3](data + 1, size - 1);
    return 0;
}
