#include "peers/share_probe.h"

#include <cstring>

namespace {

std::string Text(const char* field, size_t room) {
    return std::string(field, strnlen(field, room));
}

} // namespace

ShareProbe AnnouncedShareProbe(const PeerRecord& r, ShareProbe::Kind kind) {
    ShareProbe probe;
    probe.kind = kind;
    probe.address = Text(r.address, sizeof r.address);
    probe.computerName = Text(r.computerName, sizeof r.computerName);
    probe.paths.push_back(Text(r.sharedPath, sizeof r.sharedPath));
    return probe;
}

ShareProbeAnswer RunShareProbe(ShareProbe probe, const PathOpener& open) {
    ShareProbeAnswer answer;
    answer.reached.reserve(probe.paths.size());
    for (const std::string& path : probe.paths)
        answer.reached.push_back(
            probe.kind == ShareProbe::Kind::Playlist
                ? ResolveSharePath(path.c_str(), probe.computerName.c_str(), open)
                : ResolveAnnouncedShare(path.c_str(), probe.computerName.c_str(),
                                        probe.address.c_str(), open));
    answer.probe = std::move(probe);
    return answer;
}

bool ShareProbeQueue::Push(ShareProbe probe) {
    using Kind = ShareProbe::Kind;
    for (ShareProbe& w : waiting_) {
        const bool same =
            w.kind == probe.kind && (probe.kind != Kind::Announced || w.address == probe.address);
        if (same) {
            w = std::move(probe);
            return true;
        }
    }
    if (waiting_.size() >= kCapacity) return false;
    waiting_.push_back(std::move(probe));
    return true;
}

bool ShareProbeQueue::Take(ShareProbe& next) {
    if (waiting_.empty()) return false;
    next = std::move(waiting_.front());
    waiting_.pop_front();
    return true;
}
