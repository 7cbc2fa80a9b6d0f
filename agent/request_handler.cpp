#include "agent/request_handler.h"

#include <algorithm>
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
    if (text == wire::kGetPlaylist) return Request::GetPlaylist;
    if (text == wire::kNeedStream) return Request::NeedStream;
    if (text == wire::kOpenStream) return Request::OpenStream;
    if (text == wire::kPingOk) return Request::PingOk;
    if (text == wire::kCloseStream) return Request::CloseStream;
    return Request::None;
}

std::vector<uint8_t> RequestHandler::OnDatagram(const uint8_t* data, size_t size, Endpoint from,
                                                uint32_t now) {
    if (!OnLocalSubnet(from.address, interfaces_)) return {};
    switch (const Request request = ReadRequest(data, size)) {
    case Request::None:
        return {};
    case Request::PingOk: {
        std::vector<Endpoint> ended; // told nothing: a forged listener may stand for a victim
        listeners_.Heard(from, now, ended);
        return {};
    }
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
        if (!settings_.grantPlaylist) return Bytes(wire::kDeny);
        if (!playlists_.Take(from.address, now)) return {};
        std::vector<uint8_t> packet;
        return host_.ExportPlaylist(packet) ? packet : Bytes(wire::kPlaylistError);
    }
    case Request::NeedStream:
        if (!listening || !Permitted(from.address, now) || !host_.SoundAvailable())
            return Bytes(wire::kDeny);
        grants_.Grant(from.address, now);
        return Bytes(kGranted);
    case Request::OpenStream: {
        // Only the computer that was just granted, or one already listening
        // (a second player there, or the same one again), may open a stream.
        const bool known =
            grants_.IsGranted(from.address, now) || listeners_.HasAddress(from.address);
        if (!listening || !known || !Permitted(from.address, now) || !host_.SoundAvailable())
            return Bytes(wire::kDeny);
        const bool already = listeners_.HasAddress(from.address);
        if (listeners_.Add(from, now) == ListenerTable::Join::Full) return Bytes(wire::kDeny);
        if (!already) Tell(Notice::Listening, from.address, now);
        std::vector<uint8_t> ok = Bytes(wire::kOk);
        ok.push_back(static_cast<uint8_t>('0' + settings_.streamFormat));
        return ok;
    }
    default:
        return {};
    }
}

bool RequestHandler::Permitted(uint32_t address, uint32_t now) {
    const std::string name = names_.Computer(address, now);
    if (consent_.Permits(address, name)) return true;
    consent_.Offer({name, address});
    if (consent_.Mode() == ListeningMode::Ask) Tell(Notice::Asking, address, now);
    return false;
}

void RequestHandler::Tell(Notice::Kind kind, uint32_t address, uint32_t now) {
    if (!shown_.Due(kind, address, now)) return;
    notices_.push_back(
        {kind, {CleanName(names_.Computer(address, now)), address}, names_.Label(address, now)});
}

bool RequestHandler::Revoke(const AllowedComputer& who, std::vector<Endpoint>& closed) {
    if (!consent_.Revoke(who)) return false;
    if (consent_.Mode() != ListeningMode::Ask) return true; // the list is not in use
    for (const Listener& l : listeners_.All())
        if (l.to.address == who.address) closed.push_back(l.to);
    listeners_.Remove({who.address, 0});
    return true;
}

bool NoticeLimiter::Due(Notice::Kind kind, uint32_t address, uint32_t now) {
    if (kind == Notice::Asking && asked_ && now - lastAsking_ < kAskingNoticeMs) return false;
    auto at = std::find_if(shown_.begin(), shown_.end(),
                           [&](const Shown& s) { return s.kind == kind && s.address == address; });
    if (at != shown_.end() && now - at->at < kSameNoticeMs) return false;
    if (at == shown_.end()) {
        if (shown_.size() >= kRoom)
            at = std::max_element(shown_.begin(), shown_.end(), [&](auto& a, auto& b) {
                return now - a.at < now - b.at; // the longest ago goes
            });
        else
            at = shown_.insert(shown_.end(), Shown{});
    }
    *at = {kind, address, now};
    if (kind == Notice::Asking) {
        asked_ = true;
        lastAsking_ = now;
    }
    return true;
}

void RequestHandler::SetListening(ListeningMode mode, std::vector<Endpoint>& closed, uint32_t now) {
    consent_.SetMode(mode);
    std::vector<Endpoint> leaving;
    for (const Listener& l : listeners_.All())
        if (!consent_.Permits(l.to.address, names_.Computer(l.to.address, now)))
            leaving.push_back(l.to);
    for (const Endpoint& to : leaving)
        listeners_.Remove(to);
    closed.insert(closed.end(), leaving.begin(), leaving.end());
}

std::vector<Endpoint> RequestHandler::StopSharing() {
    sharing_ = false;
    return listeners_.Clear();
}

} // namespace agent
