#include "peers/peer_table.h"

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

std::string_view ServerOf(std::string_view p) {
    if (p.size() < 3 || !IsSeparator(p[0]) || !IsSeparator(p[1])) return {};
    size_t end = 2;
    while (end < p.size() && !IsSeparator(p[end]))
        ++end;
    return p.substr(2, end - 2);
}

namespace {

// The first candidate that `allowed` lets through and that opens.
template <class Allowed>
std::string FirstThatOpens(const char* path, const char* computerName, const PathOpener& open,
                           Allowed allowed) {
    for (const std::string& candidate : SharePathCandidates(path, computerName)) {
        // A cut candidate would name some other file; a device path, a pipe
        // or a mailslot is never a share, whatever the peer announces.
        if (candidate.size() >= kCandidateRoom || IsDeviceNamespacePath(candidate) ||
            IsPipeOrMailslotPath(candidate) || !allowed(candidate))
            continue;
        if (open(candidate)) return candidate;
    }
    return {};
}

bool SameName(std::string_view a, const char* b) {
    if (!b || a.size() != strnlen(b, a.size() + 1)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

} // namespace

std::string ResolveSharePath(const char* path, const char* computerName, const PathOpener& open) {
    return FirstThatOpens(path, computerName, open, [](const std::string&) { return true; });
}

std::string ResolveAnnouncedShare(const char* path, const char* computerName, const char* address,
                                  const PathOpener& open) {
    return FirstThatOpens(path, computerName, open, [&](const std::string& candidate) {
        const std::string_view server = ServerOf(candidate);
        return !server.empty() && (SameName(server, computerName) || SameName(server, address));
    });
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
        n->sharedReachable = 0; // until the probe answers
        n->lastHeard = clock_();
        const int index = rows_.Append(n.get());
        if (index < 0) return; // no row was made: the record goes with `n`
        PeerRecord& added = *n.release();
        rows_.SetRowTexts(index, added);
        rows_.RedrawVisibleRows();
        if (added.sharedPath[0]) probe_(added);
        return;
    }

    PeerRecord& e = *rows_.RecordAt(row);
    // The probe can wait on the network, so it runs only for a new path.
    const bool pathChanged = !SameText(e.sharedPath, n->sharedPath);
    n->sharedReachable = pathChanged ? 0 : e.sharedReachable;
    const bool changed =
        pathChanged || !SameText(e.title, n->title) || !SameText(e.userName, n->userName);
    e = *n;
    e.lastHeard = clock_();
    if (changed) {
        rows_.SetRowTexts(row, e);
        rows_.RedrawVisibleRows();
    }
    if (pathChanged && e.sharedPath[0]) probe_(e);
}

void PeerTable::OnShareProbed(const char* address, const char* path, bool reachable) {
    const int row = FindRow(address);
    if (row < 0) return;
    PeerRecord& r = *rows_.RecordAt(row);
    // The row announces another path now, whose own probe is on its way.
    if (std::strncmp(r.sharedPath, path, sizeof r.sharedPath) != 0) return;
    const int32_t value = reachable ? 1 : 0;
    if (r.sharedReachable == value) return;
    r.sharedReachable = value;
    rows_.SetRowTexts(row, r);
    rows_.RedrawVisibleRows();
}

PeerTable::PeerTable(PeerRows& rows, Clock clock,
                     std::function<int(const char*, const char*)> probeNow, int& activeRow)
    : PeerTable(
          rows, std::move(clock),
          [this, probeNow = std::move(probeNow)](const PeerRecord& r) {
              OnShareProbed(r.address, r.sharedPath, probeNow(r.sharedPath, r.computerName) != 0);
          },
          activeRow) {}

bool PeerTable::RemoveRow(int row) {
    PeerRecord* record = rows_.RecordAt(row);
    const int before = rows_.Count();
    rows_.Remove(row);
    if (rows_.Count() == before) return false;
    delete record;
    return true;
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
    bool removed = false;
    for (auto it = silent.rbegin(); it != silent.rend(); ++it) {
        const int row = *it;
        if (!RemoveRow(row)) continue; // kept, with its record, for the next tick
        removed = true;
        // The activated row keeps naming the same peer, or none once it goes.
        if (row == activeRow_)
            activeRow_ = -1;
        else if (row < activeRow_)
            --activeRow_;
    }
    if (removed) rows_.RedrawVisibleRows();
}

void PeerTable::ClearPeers() {
    activeRow_ = -1;
    // The rows go first and their records after. Memory running out while
    // the records are noted, or while the rows go, frees nothing; a row the
    // list keeps keeps its record.
    std::vector<PeerRecord*> records;
    const int count = rows_.Count();
    records.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        records.push_back(rows_.RecordAt(i));
    rows_.RemoveAll();
    for (int i = rows_.Count() - 1; i >= 0; --i)
        std::erase(records, rows_.RecordAt(i));
    for (PeerRecord* r : records)
        delete r;
}
