#include "agent/request_handler.h"

#include <string_view>

namespace agent {

namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace

Request ReadRequest(const uint8_t* data, size_t size) {
    if (!data) return Request::None;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text == kGetPlaylist) return Request::GetPlaylist;
    if (text == kNeedStream) return Request::NeedStream;
    if (text == kOpenStream) return Request::OpenStream;
    if (text == kPingOk) return Request::PingOk;
    if (text == kCloseStream) return Request::CloseStream;
    return Request::None;
}

std::vector<uint8_t> RequestHandler::OnDatagram(const uint8_t* data, size_t size, Endpoint from,
                                                uint32_t now) {
    if (!OnLocalSubnet(from.address, interfaces_)) return {};
    switch (const Request request = ReadRequest(data, size)) {
    case Request::None:
        return {};
    case Request::PingOk:
        listeners_.Heard(from, now);
        return {};
    case Request::CloseStream:
        listeners_.Remove(from);
        return {};
    default:
        if (!answers_.Take(from.address, now)) return {};
        return Answer(request, from, now);
    }
}

std::vector<uint8_t> RequestHandler::Answer(Request request, Endpoint from, uint32_t now) {
    const bool listening = consent_.Mode() != ListeningMode::Off && sharing_;
    switch (request) {
    case Request::GetPlaylist: {
        if (!settings_.grantPlaylist) return Bytes(kDeny);
        if (!playlists_.Take(from.address, now)) return {};
        std::vector<uint8_t> packet;
        return host_.ExportPlaylist(packet) ? packet : Bytes(kPlaylistError);
    }
    case Request::NeedStream:
        if (!listening || !Permitted(from.address, now) || !host_.SoundAvailable())
            return Bytes(kDeny);
        grants_.Grant(from.address, now);
        return Bytes(kGranted);
    case Request::OpenStream: {
        // Only the computer that was just granted, or one already listening
        // (a second player there, or the same one again), may open a stream.
        const bool known =
            grants_.IsGranted(from.address, now) || listeners_.HasAddress(from.address);
        if (!listening || !known || !Permitted(from.address, now) || !host_.SoundAvailable())
            return Bytes(kDeny);
        const bool already = listeners_.HasAddress(from.address);
        if (listeners_.Add(from, now) == ListenerTable::Join::Full) return Bytes(kDeny);
        if (!already) notices_.push_back({Notice::Listening, from.address});
        std::vector<uint8_t> ok = Bytes(kOk);
        ok.push_back(static_cast<uint8_t>('0' + settings_.streamFormat));
        return ok;
    }
    default:
        return {};
    }
}

bool RequestHandler::Permitted(uint32_t address, uint32_t now) {
    if (consent_.Permits(address, names_.Computer(address))) return true;
    if (consent_.Offer(address, now)) notices_.push_back({Notice::Asking, address});
    return false;
}

bool RequestHandler::Allow(uint32_t address) {
    std::string name = names_.Computer(address);
    return consent_.Allow(address, name.empty() ? AddressText(address) : std::move(name));
}

bool RequestHandler::Revoke(uint32_t address, std::vector<Endpoint>& closed) {
    if (!consent_.Revoke(address)) return false;
    if (consent_.Mode() != ListeningMode::Ask) return true; // the list is not in use
    for (const Listener& l : listeners_.All())
        if (l.to.address == address) closed.push_back(l.to);
    listeners_.Remove({address, 0});
    return true;
}

std::vector<Endpoint> RequestHandler::StopSharing() {
    sharing_ = false;
    return listeners_.Clear();
}

} // namespace agent
