// The agent's readers of outside input: any sequence of datagrams to its
// request port, and any file given as its WAV source. The first byte picks
// which. Requests: a datagram is [sender byte][length byte][bytes]; only the
// plug-ins' exact words may get an answer, and only answers of the agent's
// own; the listeners stay within their bound. WAV: an accepted file plays
// through the converter into every stream format without reading outside it.
#include <cstdint>
#include <string_view>
#include <vector>

#include "agent/request_handler.h"
#include "agent/wav_file.h"
#include "net/agent.h"

namespace {

struct Host final : agent::AgentHost {
    bool ExportPlaylist(std::vector<uint8_t>& packet) override {
        packet = {6, 0, 4, 0, 0, '1'};
        return true;
    }
    bool SoundAvailable() override { return true; }
};

void FuzzRequests(const uint8_t* data, size_t size) {
    agent::AgentSettings settings;
    Host host;
    agent::RequestHandler handler(settings, host);
    uint32_t now = 0;
    for (size_t at = 0; at + 2 <= size; now += 700) {
        const agent::Endpoint from{0x7F000000u | data[at], static_cast<uint16_t>(data[at] + 1)};
        const size_t length = data[at + 1] < size - at - 2 ? data[at + 1] : size - at - 2;
        std::vector<uint8_t> datagram(data + at + 2, data + at + 2 + length);
        at += 2 + length;
        const auto answer = handler.OnDatagram(datagram.data(), datagram.size(), from, now);
        const std::string_view text(reinterpret_cast<const char*>(answer.data()), answer.size());
        const auto request = agent::ReadRequest(datagram.data(), datagram.size());
        const bool asked = request == agent::Request::GetPlaylist ||
                           request == agent::Request::NeedStream ||
                           request == agent::Request::OpenStream;
        if (!answer.empty() && !asked) __builtin_trap();
        if (!answer.empty() && text != agent::kDeny && text != agent::kGranted && text != "OK~1" &&
            text != std::string_view("\6\0\4\0\0"
                                     "1",
                                     6))
            __builtin_trap();
        if (handler.Listeners().All().size() > agent::ListenerTable::kMaxListeners)
            __builtin_trap();
    }
}

void FuzzWav(const uint8_t* data, size_t size) {
    std::vector<uint8_t> in(data, data + size);
    agent::WavAudio audio;
    if (!agent::ParseWav(in.data(), in.size(), audio)) return;
    if (audio.FrameCount() == 0 || !audio.format.Valid()) __builtin_trap();
    agent::WavSource source(audio);
    for (int code = agent::kMinFormatCode; code <= agent::kMaxFormatCode; ++code) {
        agent::PcmConverter converter(source.Format(), *instream::FindAudioFormat(code));
        source.Feed(converter, 600);
        if (converter.Available() < 600) __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if (data[0] % 2 == 0)
        FuzzRequests(data + 1, size - 1);
    else
        FuzzWav(data + 1, size - 1);
    return 0;
}
