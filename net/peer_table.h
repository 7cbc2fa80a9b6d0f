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

#include "net/peer_record.h"

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
    // Deletes one row, or all of them. The records are the caller's to free.
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

// The first candidate that opens, or "" when none does. A peer decides both
// the path and the name, so candidates in the device or raw namespaces, and
// ones too long for the probe's 300-byte buffer, are never handed to `open`.
// The name that opened is the one to hand the player: the peer's own local
// path would name a file of this computer.
std::string ResolveSharePath(const char* path, const char* computerName, const PathOpener& open);
// 1 when ResolveSharePath finds a candidate, else 0.
int ProbeSharePath(const char* path, const char* computerName, const PathOpener& open);
// The same two with the platform's file opening (peer_table_win.cpp).
std::string ResolveSharePath(const char* path, const char* computerName);
int ProbeSharePath(const char* path, const char* computerName);

class PeerTable {
  public:
    using Clock = std::function<uint32_t()>; // the platform's millisecond tick count
    using Probe = std::function<int(const char* path, const char* computerName)>;

    // `activeRow` is the browser's activated row index (-1 none), which the
    // table moves or clears as it removes rows.
    PeerTable(PeerRows& rows, Clock clock, Probe probe, int& activeRow)
        : rows_(rows), clock_(std::move(clock)), probe_(std::move(probe)), activeRow_(activeRow) {}

    // Merges one announced record, taking ownership: it becomes a new row's
    // record, or its contents refresh the row with the same address.
    void OnPeerAnnounced(std::unique_ptr<PeerRecord> record);
    // Removes the rows silent for kSilenceLimitMs or longer.
    void AgeOutPeers();
    // Removes every row; no row is activated afterwards.
    void ClearPeers();

    // The row whose address equals `address` without regard to case, or -1.
    int FindRow(const char* address) const;

  private:
    PeerRows& rows_;
    Clock clock_;
    Probe probe_;
    int& activeRow_;
};
