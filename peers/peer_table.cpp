#include "peers/peer_table.h"

#include <algorithm>
#include <cstring>

#include "wire/ipv4.h"

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
    for (const char* slash = std::strchr(path, '\\'); slash && out.size() < kMaxShareCandidates;
         slash = std::strchr(slash + 1, '\\'))
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

bool IsPlainComputerName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("./\\:@", c)) return false;
    // A name of digits, or 0x and hex digits, is an address to the resolver.
    const bool hex = name.size() > 1 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X');
    const std::string_view digits = hex ? name.substr(2) : name;
    return digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
           std::string_view::npos;
}

std::string ResolveSharePath(const char* path, const char* computerName, const PathOpener& open) {
    return FirstThatOpens(path, computerName, open, [](const std::string&) { return true; });
}

std::string ResolveAnnouncedShare(const char* path, const char* computerName, const char* address,
                                  const PathOpener& open, const NameCheck& nameIsAt) {
    const bool named = computerName && IsPlainComputerName(computerName) && address && *address &&
                       nameIsAt && nameIsAt(computerName, address);
    return FirstThatOpens(
        path, named ? computerName : address, open, [&](const std::string& candidate) {
            const std::string_view s = ServerOf(candidate);
            return !s.empty() &&
                   ((named && SameName(s, computerName)) || (address && SameName(s, address)));
        });
}

bool IsPlaylistServer(std::string_view p, const std::vector<LocalInterface>& local) {
    const std::string_view server = ServerOf(p);
    uint32_t address = 0;
    if (!IsPlainComputerName(server) &&
        !(ParseDottedIpv4(server, address) && OnLocalSubnet(address, local)))
        return false;
    std::string_view share = p.substr(std::min(p.size(), 3 + server.size()));
    share = share.substr(0, share.find_first_of("\\/"));
    return !SameName(share, "DavWWWRoot");
}

std::string ResolvePlaylistEntry(const char* path, const char* peerName,
                                 const std::vector<LocalInterface>& local, const PathOpener& open) {
    return FirstThatOpens(path, peerName, open,
                          [&](const std::string& c) { return IsPlaylistServer(c, local); });
}

int ProbeSharePath(const char* path, const char* computerName, const PathOpener& open) {
    return ResolveSharePath(path, computerName, open).empty() ? 0 : 1;
}

namespace {

std::string IndexKey(const char* address) {
    std::string key(address, strnlen(address, kPeerAddressRoom));
    for (char& c : key)
        c = Lower(c);
    return key;
}

} // namespace

const PeerRowIndex::Hint* PeerRowIndex::Find(const char* address) const {
    const auto it = hints_.find(IndexKey(address));
    return it == hints_.end() ? nullptr : &it->second;
}

void PeerRowIndex::Note(const char* address, int row, const PeerRecord* record) {
    hints_[IndexKey(address)] = Hint{row, record};
}

void PeerRowIndex::Forget(const char* address) {
    hints_.erase(IndexKey(address));
}

void PeerRowIndex::Clear() {
    hints_.clear();
    completeRows_ = -1;
}

int PeerTable::FindRow(const char* address) const {
    PeerRecord* record = nullptr;
    return Find(address, record);
}

int PeerTable::Find(const char* address, PeerRecord*& record) const {
    const int count = rows_.Count();
    if (index_) {
        if (const PeerRowIndex::Hint* hint = index_->Find(address);
            hint && hint->row >= 0 && hint->row < count) {
            PeerRecord* r = rows_.RecordAt(hint->row);
            if (r && r == hint->record && SameAddress(r->address, address)) {
                record = r;
                return hint->row;
            }
        } else if (!hint && index_->KnowsAllOf(count)) {
            return -1;
        }
        index_->Clear();
    }
    int found = -1;
    for (int i = 0; i < count; ++i) {
        PeerRecord* r = rows_.RecordAt(i);
        if (!r) continue;
        if (index_) index_->Note(r->address, i, r);
        if (found < 0 && SameAddress(r->address, address)) {
            found = i;
            record = r;
            if (!index_) break;
        }
    }
    if (index_) index_->MarkComplete(count);
    return found;
}

void PeerTable::OnPeerAnnounced(std::unique_ptr<PeerRecord> n) {
    if (!n) return;
    PeerRecord* existing = nullptr;
    const int row = Find(n->address, existing);
    if (row < 0) {
        if (rows_.Count() >= kMaxPeerRows) {
            // The longest silent row makes room.
            const uint32_t now = clock_();
            int oldest = -1;
            uint32_t silence = 0;
            for (int i = 0; i < rows_.Count(); ++i)
                if (const PeerRecord* r = rows_.RecordAt(i);
                    r && (oldest < 0 || now - r->lastHeard > silence)) {
                    oldest = i;
                    silence = now - r->lastHeard;
                }
            if (oldest < 0 || !RemoveRows({oldest})) return; // the list keeps its rows
            if (index_) index_->Clear();
        }
        n->sharedReachable = 0; // until the probe answers
        n->lastHeard = clock_();
        const int index = rows_.Append(n.get());
        if (index < 0) return; // no row was made: the record goes with `n`
        PeerRecord& added = *n.release();
        if (index_) {
            // A list that placed the row elsewhere than at the end moved others.
            const int rowsNow = rows_.Count();
            const bool complete = index == rowsNow - 1 && index_->KnowsAllOf(rowsNow - 1);
            index_->Note(added.address, index, &added);
            if (complete) index_->MarkComplete(rowsNow);
        }
        rows_.SetRowTexts(index, added);
        rows_.RedrawVisibleRows();
        added.probeOwed = added.sharedPath[0] && !probe_(added);
        return;
    }

    PeerRecord& e = *existing;
    // The probe can wait on the network, so it runs only for a new path.
    const bool pathChanged = !SameText(e.sharedPath, n->sharedPath);
    n->sharedReachable = pathChanged ? 0 : e.sharedReachable;
    const bool changed =
        pathChanged || !SameText(e.title, n->title) || !SameText(e.userName, n->userName);
    const bool owed = e.probeOwed;
    e = *n;
    e.lastHeard = clock_();
    if (changed) {
        rows_.SetRowTexts(row, e);
        rows_.RedrawVisibleRows();
    }
    e.probeOwed = (pathChanged || owed) && e.sharedPath[0] && !probe_(e);
}

void PeerTable::OnShareProbed(const char* address, const char* path, bool reachable) {
    PeerRecord* found = nullptr;
    const int row = Find(address, found);
    if (row < 0) return;
    PeerRecord& r = *found;
    // The row announces another path now, whose own probe is on its way.
    if (std::strncmp(r.sharedPath, path, sizeof r.sharedPath) != 0) return;
    const int32_t value = reachable ? 1 : 0;
    if (r.sharedReachable == value) return;
    r.sharedReachable = value;
    rows_.SetRowTexts(row, r);
    rows_.RedrawVisibleRows();
}

void PeerTable::OnShareProbeLost(const char* address) {
    PeerRecord* found = nullptr;
    if (Find(address, found) >= 0) found->probeOwed = 1;
}

PeerTable::PeerTable(PeerRows& rows, Clock clock,
                     std::function<int(const char*, const char*)> probeNow, int& activeRow)
    : PeerTable(
          rows, std::move(clock),
          [this, probeNow = std::move(probeNow)](const PeerRecord& r) {
              OnShareProbed(r.address, r.sharedPath, probeNow(r.sharedPath, r.computerName) != 0);
              return true;
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
        if (r && static_cast<uint32_t>(now - r->lastHeard) >= wire::kPresenceTimeoutMs)
            silent.push_back(i);
    }
    if (RemoveRows(silent) && index_) index_->Clear(); // the rows above each one moved down
}

bool PeerTable::RemoveRows(const std::vector<int>& rows) {
    // From the highest index down, so the indexes still to remove stay valid.
    bool removed = false;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
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
    return removed;
}

void PeerTable::ClearPeers() {
    activeRow_ = -1;
    if (index_) index_->Clear();
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
