#include "net/peer_table.h"

#include <cstring>

namespace {

constexpr size_t kCandidateRoom = 300; // the probe's path buffer, terminator included

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

template <size_t N> bool SameText(const char (&a)[N], const char (&b)[N]) {
    return std::strncmp(a, b, N) == 0;
}

bool SameAddress(const char* a, const char* b) {
    for (size_t i = 0; i < kPeerAddressRoom; ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
        if (a[i] == 0) return true;
    }
    return true;
}

} // namespace

bool IsDeviceNamespacePath(std::string_view p) {
    // The platform reads \\.\ and \\?\ with either slash as device paths, and
    // passes \??\ through to the object manager untouched.
    if (p.size() >= 3 && IsSeparator(p[0]) && IsSeparator(p[1]) && (p[2] == '.' || p[2] == '?'))
        return p.size() == 3 || IsSeparator(p[3]);
    return p.size() >= 4 && p.substr(0, 4) == "\\??\\";
}

bool IsPipeOrMailslotPath(std::string_view p) {
    if (p.size() < 3 || !IsSeparator(p[0]) || !IsSeparator(p[1])) return false;
    size_t start = 2;
    while (start < p.size() && !IsSeparator(p[start]))
        ++start; // the server
    size_t end = ++start;
    while (end < p.size() && !IsSeparator(p[end]))
        ++end;
    if (start >= p.size()) return false;
    std::string share(p.substr(start, end - start));
    for (char& c : share)
        c = Lower(c);
    return share == "pipe" || share == "mailslot";
}

std::vector<std::string> SharePathCandidates(const char* path, const char* computerName) {
    std::vector<std::string> out;
    if (!path || !*path) return out;
    if (path[0] == '\\' && path[1] == '\\') {
        out.emplace_back(path);
        return out;
    }
    // A local path needs a computer to name it on; an empty name would make
    // a server-less \\\ path.
    if (!computerName || !*computerName) return out;
    for (const char* slash = std::strchr(path, '\\'); slash; slash = std::strchr(slash + 1, '\\'))
        out.push_back(std::string("\\\\") + computerName + "\\" + (slash + 1));
    return out;
}

std::string ResolveSharePath(const char* path, const char* computerName, const PathOpener& open) {
    for (const std::string& candidate : SharePathCandidates(path, computerName)) {
        // A cut candidate would name some other file; a device path, a pipe
        // or a mailslot is never a share, whatever the peer announces.
        if (candidate.size() >= kCandidateRoom || IsDeviceNamespacePath(candidate) ||
            IsPipeOrMailslotPath(candidate))
            continue;
        if (open(candidate)) return candidate;
    }
    return {};
}

int ProbeSharePath(const char* path, const char* computerName, const PathOpener& open) {
    return ResolveSharePath(path, computerName, open).empty() ? 0 : 1;
}

int PeerTable::FindRow(const char* address) const {
    const int count = rows_.Count();
    for (int i = 0; i < count; ++i) {
        const PeerRecord* r = rows_.RecordAt(i);
        if (r && SameAddress(r->address, address)) return i;
    }
    return -1;
}

void PeerTable::OnPeerAnnounced(std::unique_ptr<PeerRecord> n) {
    if (!n) return;
    const int row = FindRow(n->address);
    if (row < 0) {
        n->sharedReachable = probe_(n->sharedPath, n->computerName) ? 1 : 0;
        n->lastHeard = clock_();
        const int index = rows_.Append(n.get());
        if (index < 0) return; // no row was made: the record goes with `n`
        PeerRecord& added = *n.release();
        rows_.SetRowTexts(index, added);
        rows_.RedrawVisibleRows();
        return;
    }

    PeerRecord& e = *rows_.RecordAt(row);
    // The probe can wait on the network, so it runs only for a new path.
    const bool pathChanged = !SameText(e.sharedPath, n->sharedPath);
    n->sharedReachable =
        pathChanged ? (probe_(n->sharedPath, n->computerName) ? 1 : 0) : e.sharedReachable;
    const bool changed =
        pathChanged || !SameText(e.title, n->title) || !SameText(e.userName, n->userName);
    e = *n;
    e.lastHeard = clock_();
    if (changed) {
        rows_.SetRowTexts(row, e);
        rows_.RedrawVisibleRows();
    }
}

void PeerTable::AgeOutPeers() {
    const int count = rows_.Count();
    if (count <= 0) return;
    const uint32_t now = clock_();
    std::vector<int> silent;
    for (int i = 0; i < count; ++i) {
        const PeerRecord* r = rows_.RecordAt(i);
        // Unsigned difference: right across the tick count's wrap-around.
        if (r && static_cast<uint32_t>(now - r->lastHeard) >= kSilenceLimitMs) silent.push_back(i);
    }
    // From the highest index down, so the indexes still to remove stay valid.
    for (auto it = silent.rbegin(); it != silent.rend(); ++it) {
        const int row = *it;
        std::unique_ptr<PeerRecord> record(rows_.RecordAt(row));
        rows_.Remove(row);
        // The activated row keeps naming the same peer, or none once it goes.
        if (row == activeRow_)
            activeRow_ = -1;
        else if (row < activeRow_)
            --activeRow_;
    }
    if (!silent.empty()) rows_.RedrawVisibleRows();
}

void PeerTable::ClearPeers() {
    std::vector<std::unique_ptr<PeerRecord>> records;
    const int count = rows_.Count();
    for (int i = 0; i < count; ++i)
        records.emplace_back(rows_.RecordAt(i));
    rows_.RemoveAll();
    activeRow_ = -1;
}
