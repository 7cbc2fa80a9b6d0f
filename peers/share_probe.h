// Share probes off the user-interface thread: what the browser asks, what
// comes back, and the bounded queue between them. Opening a network path can
// wait on the network for many seconds, so the browser never does it itself;
// the worker thread that runs the probes is the shell's (share_probe_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "peers/peer_table.h"
#include "wire/peer_record.h"

// Posted to the browser window when answers are waiting. It carries nothing:
// the window takes the answers from the prober, so a message that arrives
// late, twice or from elsewhere frees and reads nothing.
constexpr unsigned WM_SHARE_PROBED = 0x0400 + 53;

struct ShareProbe {
    enum class Kind {
        Announced,  // the Shared column of a row
        PlayFile,   // "Play the file"
        OpenFolder, // "Open shared directory"
        Playlist,   // the entries of a fetched playlist
    };
    Kind kind = Kind::Announced;
    std::string address; // the computer's sender address
    std::string computerName;
    std::vector<std::string> paths; // one, or a playlist's entries in tag order
    uint32_t serial = 0;            // the playlist request it belongs to
};

struct ShareProbeAnswer {
    ShareProbe probe;
    // For each path, the network name that opened it, or "".
    std::vector<std::string> reached;
    // OpenFolder: the folder to show, or "" when there is none to open.
    std::string folder;
};

// The probe of a row's announced file.
ShareProbe AnnouncedShareProbe(const PeerRecord& record, ShareProbe::Kind kind);

// The folder "Open shared directory" shows for a file reached as `reached`:
// every character before its last backslash, and only when `isFolder` says
// it is one. A part of dots only ("." or "..") is refused outright: the platform folds it
// away, so \\PC7\s\tool.exe\. opens as the file and its "folder" would be
// the program itself. "" when refused.
std::string FolderToOpen(const std::string& reached, const PathOpener& isFolder);

// What a probe asks of the system.
struct ProbeSystem {
    PathOpener open;
    PathOpener isFolder;                                 // for OpenFolder probes
    NameCheck nameIsAt;                                  // whether a name resolves to an address
    std::vector<LocalInterface> interfaces;              // the servers a playlist may name
    std::function<uint32_t()> clock = [] { return 0u; }; // milliseconds
};

// A probe tries no further path or candidate once it has run this long: a
// slow or unreachable server must not hold the probes behind it for long.
constexpr uint32_t kProbeTimeMs = 8000;

// Runs one probe. The computer's own file (announced, played, its folder
// opened) is reached only on that computer; a playlist's entries, which the
// user asked for, on the servers IsPlaylistServer lets through.
ShareProbeAnswer RunShareProbe(ShareProbe probe, const ProbeSystem& system);

// The probes waiting for the workers. Only the latest of each matters: a
// probe of an announced file replaces one still waiting for the same
// address, and a command one of its own kind, so a peer that changes its
// path on every packet, or a user who clicks twice, queues one probe.
// Announced probes share a bounded room; the user's commands (at most one of
// each kind) are never dropped and wait in a lane of their own, which a
// worker of its own takes, so a crowd of announcers, or a probe stalled on a
// slow server, can neither lose nor delay a click.
class ShareProbeQueue {
  public:
    static constexpr size_t kCapacity = 64; // announced probes
    enum class Lane { Commands, Announced };

    static Lane LaneOf(const ShareProbe& probe) {
        return probe.kind == ShareProbe::Kind::Announced ? Lane::Announced : Lane::Commands;
    }
    // False when an announced probe finds the room full: it is dropped, and
    // the row asks again at its next announcement.
    bool Push(ShareProbe probe);
    // The oldest probe waiting in `lane`; false when none waits.
    bool Take(ShareProbe& next, Lane lane);
    void Clear() {
        commands_.clear();
        announced_.clear();
    }

  private:
    std::deque<ShareProbe> commands_, announced_;
};
