#include "peers/share_probe.h"

#include <cstring>
#include <string_view>

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

std::string FolderToOpen(const std::string& reached, const PathOpener& isFolder) {
    const size_t slash = reached.rfind('\\');
    if (slash == std::string::npos || slash == 0) return {};
    for (size_t start = 0; start <= reached.size();) {
        size_t end = reached.find_first_of("\\/", start);
        if (end == std::string::npos) end = reached.size();
        const std::string_view part = std::string_view(reached).substr(start, end - start);
        if (!part.empty() && part.find_first_not_of('.') == std::string_view::npos) return {};
        start = end + 1;
    }
    std::string folder = reached.substr(0, slash);
    if (!isFolder || !isFolder(folder)) return {};
    return folder;
}

ShareProbeAnswer RunShareProbe(ShareProbe probe, const ProbeSystem& system) {
    const uint32_t start = system.clock();
    const PathOpener open = [&](const std::string& path) {
        return system.clock() - start < kProbeTimeMs && system.open(path);
    };
    ShareProbeAnswer answer;
    answer.reached.reserve(probe.paths.size());
    for (const std::string& path : probe.paths)
        answer.reached.push_back(
            probe.kind == ShareProbe::Kind::Playlist
                ? ResolvePlaylistEntry(path.c_str(), probe.computerName.c_str(), system.interfaces,
                                       open)
                : ResolveAnnouncedShare(path.c_str(), probe.computerName.c_str(),
                                        probe.address.c_str(), open, system.nameIsAt));
    // Checked here, off the window's thread, as the folder may sit on a slow server.
    if (probe.kind == ShareProbe::Kind::OpenFolder && !answer.reached.empty() &&
        !answer.reached.front().empty())
        answer.folder = FolderToOpen(answer.reached.front(), system.isFolder);
    answer.probe = std::move(probe);
    return answer;
}

bool ShareProbeQueue::Push(ShareProbe probe) {
    using Kind = ShareProbe::Kind;
    const bool announced = probe.kind == Kind::Announced;
    std::deque<ShareProbe>& waiting = announced ? announced_ : commands_;
    for (ShareProbe& w : waiting) {
        if (w.kind == probe.kind && (!announced || w.address == probe.address)) {
            w = std::move(probe);
            return true;
        }
    }
    if (announced && waiting.size() >= kCapacity) return false;
    waiting.push_back(std::move(probe));
    return true;
}

bool ShareProbeQueue::Take(ShareProbe& next, Lane lane) {
    std::deque<ShareProbe>& waiting = lane == Lane::Commands ? commands_ : announced_;
    if (waiting.empty()) return false;
    next = std::move(waiting.front());
    waiting.pop_front();
    return true;
}
