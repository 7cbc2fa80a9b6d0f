// The peer table: one browser row per sender address, each row owning one
// peer record. The rows themselves live in the list control; this is the
// portable part that decides what to merge, probe, redraw and remove.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "wire/interfaces.h"
#include "wire/peer_record.h"
#include "wire/protocol.h"

constexpr unsigned BROWSER_TIMER_ID = 1076;
constexpr uint32_t kAgeOutPeriodMs = 2000;
// Rows at most: every forged source address would otherwise be one more. A
// new computer beyond it takes the place of the longest silent row.
constexpr int kMaxPeerRows = 512;

// The rows of the browser list, as the peer table sees them.
class PeerRows {
  public:
    virtual ~PeerRows() = default;
    virtual int Count() const = 0;
    // The row's record, or null for a row without one.
    virtual PeerRecord* RecordAt(int row) const = 0;
    // Appends a row carrying `record` and answers its index, or -1 when no
    // row could be made. On success the row owns the record.
    virtual int Append(PeerRecord* record) = 0;
    // Deletes one row, or all of them. A list may refuse: the rows it keeps
    // are still counted. The records are the caller's to free.
    virtual void Remove(int row) = 0;
    virtual void RemoveAll() = 0;
    virtual void SetRowTexts(int row, const PeerRecord& record) = 0;
    virtual void RedrawVisibleRows() = 0;
};

// Answers whether a network path can be opened for reading from here.
using PathOpener = std::function<bool(const std::string& networkPath)>;

// True for a path in the platform's device or raw namespaces (\\.\ and \\?\,
// with either slash), which a share probe must never open.
bool IsDeviceNamespacePath(std::string_view path);

// True for a named pipe or a mailslot on any server (\\host\pipe\..., or
// mailslot, in any case and with either slash): opening one would talk to a
// program of the peer's choosing, never read a file.
bool IsPipeOrMailslotPath(std::string_view path);

// The network paths that stand for a path local to `computerName`, in the
// order they are tried: D:\Music\Pop\a.mp3 on PC7 gives \\PC7\Music\Pop\a.mp3,
// \\PC7\Pop\a.mp3, \\PC7\a.mp3, and no more than kMaxShareCandidates, so a
// path of many folders does not open the network once per folder. A path
// that already begins with two backslashes is its own single candidate.
constexpr size_t kMaxShareCandidates = 8;
std::vector<std::string> SharePathCandidates(const char* path, const char* computerName);

// The server a network path names: PC7 for \\PC7\Music\a.mp3 (either slash);
// empty for any other path.
std::string_view ServerOf(std::string_view networkPath);

// The first candidate that opens, or "" when none does. A peer decides both
// the path and the name, so candidates in the device or raw namespaces, and
// ones too long for the probe's 300-byte buffer, are never handed to `open`.
// The name that opened is the one to hand the player: the peer's own local
// path would name a file of this computer. Used for the entries of a
// playlist the user asked for, which may live on any server.
std::string ResolveSharePath(const char* path, const char* computerName, const PathOpener& open);
// 1 when ResolveSharePath finds a candidate, else 0.
int ProbeSharePath(const char* path, const char* computerName, const PathOpener& open);

// True for the short name a computer announces for itself (PC7, JOHN-PC):
// not empty, no dot, slash, backslash, colon or @, and not a number that the
// platform would read as an address (3232235777, 0xC0A80001).
bool IsPlainComputerName(std::string_view name);

// Whether the system resolves a computer name to the (dotted) address.
using NameCheck = std::function<bool(const std::string& name, const std::string& address)>;

// ResolveSharePath for the file a computer announces as shared, opening only
// on that computer itself: by its announced name where that is a plain
// computer name that the system resolves to the address its packets come
// from, otherwise by that address. The probe runs for every computer on the
// LAN without anyone asking, so \\EVIL\share\a.mp3 announced by PC7, or a
// computer calling itself FILESRV, host.example.com or another computer's
// address, must not make this computer contact, and offer its credentials
// to, a server of its choosing.
std::string ResolveAnnouncedShare(const char* path, const char* computerName, const char* address,
                                  const PathOpener& open, const NameCheck& nameIsAt);

// Whether a playlist entry's network path may be opened: its server a plain
// computer name or a dotted address on one of this computer's local
// subnets; never a port or SSL (\\srv@SSL@443\...), never the WebDAV
// share DavWWWRoot, which would reach out over HTTP.
bool IsPlaylistServer(std::string_view networkPath, const std::vector<LocalInterface>& local);
// ResolveSharePath for an entry of a playlist the user fetched, whose
// servers pass IsPlaylistServer.
std::string ResolvePlaylistEntry(const char* path, const char* peerName,
                                 const std::vector<LocalInterface>& local, const PathOpener& open);

// The platform's file opening (peer_table_win.cpp): true when the path opens
// for reading; and ProbeSharePath with it.
bool OpenForReading(const std::string& networkPath);
int ProbeSharePath(const char* path, const char* computerName);

// Where each listed address's row was last seen. Asking the list for a row's
// record is a window message, so walking 250 rows for each announcement
// costs more than a LAN of that size leaves time for. A hint is believed only
// when the row it names still holds the record it names (rows move when
// sorted or removed); a miss walks the rows once and notes every row passed.
// Kept by the browser beside the list; the table keeps it up to date.
class PeerRowIndex {
  public:
    struct Hint {
        int row;
        const PeerRecord* record; // compared with the row's, never followed
    };
    const Hint* Find(const char* address) const;
    void Note(const char* address, int row, const PeerRecord* record);
    void Forget(const char* address);
    // Forgets every row; nothing is known complete until the next walk.
    void Clear();
    // After a walk of all `rows`: an address the index lacks is not listed,
    // for as long as the list still has that many rows.
    void MarkComplete(int rows) { completeRows_ = rows; }
    bool KnowsAllOf(int rows) const {
        return completeRows_ == rows && hints_.size() == static_cast<size_t>(rows);
    }

  private:
    std::unordered_map<std::string, Hint> hints_; // by the address in lower case
    int completeRows_ = -1;
};

class PeerTable {
  public:
    using Clock = std::function<uint32_t()>; // the platform's millisecond tick count
    // Asks for the share probe of a row's record. The probe can wait on the
    // network, so it runs elsewhere; its answer comes back through
    // OnShareProbed, and the row shows "No" until then. False when the probe
    // was dropped (too many waiting): the row's next announcement asks again.
    using ProbeRequest = std::function<bool(const PeerRecord& record)>;

    // `activeRow` is the browser's activated row index (-1 none), which the
    // table moves or clears as it removes rows.
    PeerTable(PeerRows& rows, Clock clock, ProbeRequest probe, int& activeRow)
        : rows_(rows), clock_(std::move(clock)), probe_(std::move(probe)), activeRow_(activeRow) {}
    // A table whose probe answers at once, on the caller's thread: for
    // programs without a prober (benchmarks, the Windows tests' own window).
    PeerTable(PeerRows& rows, Clock clock, std::function<int(const char*, const char*)> probeNow,
              int& activeRow);

    // Merges one announced record, taking ownership: it becomes a new row's
    // record, or its contents refresh the row with the same address. A new
    // row, or a new shared path, is probed; so is a row whose last probe was
    // dropped; nothing else is.
    void OnPeerAnnounced(std::unique_ptr<PeerRecord> record);
    // One probe's answer, found by address: it counts only while that row
    // still announces `path`. An answer for a row that went is dropped.
    void OnShareProbed(const char* address, const char* path, bool reachable);
    // A probe's answer was lost (too many waiting): the row asks again at its
    // next announcement.
    void OnShareProbeLost(const char* address);
    // Removes the rows silent for kPresenceTimeoutMs or longer.
    void AgeOutPeers();
    // Removes every row the list lets go; no row is activated afterwards.
    // No row is ever left pointing at a freed record, even when memory runs
    // out or the list refuses.
    void ClearPeers();

    // The row whose address equals `address` without regard to case, or -1.
    int FindRow(const char* address) const;

    // Finds rows through `index` from now on (see PeerRowIndex).
    void UseIndex(PeerRowIndex& index) { index_ = &index; }

  private:
    // FindRow, also giving the row's record.
    int Find(const char* address, PeerRecord*& record) const;
    // Deletes the row, then frees its record, unless the list kept the row.
    bool RemoveRow(int row);
    // Removes rows (given in ascending order), keeping the activated row on
    // its peer; true when any went.
    bool RemoveRows(const std::vector<int>& rows);

    PeerRows& rows_;
    Clock clock_;
    ProbeRequest probe_;
    int& activeRow_;
    PeerRowIndex* index_ = nullptr; // not owned
};
