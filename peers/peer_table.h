// The peer table: one browser row per sender address, each row owning one
// peer record. The rows themselves live in the list control; this is the
// portable part that decides what to merge, probe, redraw and remove.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wire/peer_record.h"

constexpr unsigned BROWSER_TIMER_ID = 1076;
constexpr uint32_t kAgeOutPeriodMs = 2000;
constexpr uint32_t kSilenceLimitMs = 4000; // silent this long or longer at a tick: removed

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
// \\PC7\Pop\a.mp3, \\PC7\a.mp3. A path that already begins with two
// backslashes is its own single candidate.
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

// ResolveSharePath for the file a computer announces as shared, opening only
// names whose server is that computer itself: its announced name or the
// address its packets come from. The probe runs for every computer on the
// LAN without anyone asking, so \\EVIL\share\a.mp3 announced by PC7 must not
// make this computer contact EVIL.
std::string ResolveAnnouncedShare(const char* path, const char* computerName, const char* address,
                                  const PathOpener& open);

// The platform's file opening (peer_table_win.cpp): true when the path opens
// for reading; and ProbeSharePath with it.
bool OpenForReading(const std::string& networkPath);
int ProbeSharePath(const char* path, const char* computerName);

class PeerTable {
  public:
    using Clock = std::function<uint32_t()>; // the platform's millisecond tick count
    // Asks for the share probe of a row's record. The probe can wait on the
    // network, so it runs elsewhere; its answer comes back through
    // OnShareProbed, and the row shows "No" until then.
    using ProbeRequest = std::function<void(const PeerRecord& record)>;

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
    // row, or a new shared path, is probed; nothing else is.
    void OnPeerAnnounced(std::unique_ptr<PeerRecord> record);
    // One probe's answer, found by address: it counts only while that row
    // still announces `path`. An answer for a row that went is dropped.
    void OnShareProbed(const char* address, const char* path, bool reachable);
    // Removes the rows silent for kSilenceLimitMs or longer.
    void AgeOutPeers();
    // Removes every row the list lets go; no row is activated afterwards.
    // No row is ever left pointing at a freed record, even when memory runs
    // out or the list refuses.
    void ClearPeers();

    // The row whose address equals `address` without regard to case, or -1.
    int FindRow(const char* address) const;

  private:
    // Deletes the row, then frees its record, unless the list kept the row.
    bool RemoveRow(int row);

    PeerRows& rows_;
    Clock clock_;
    ProbeRequest probe_;
    int& activeRow_;
};
