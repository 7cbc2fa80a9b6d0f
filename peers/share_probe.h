// Share probes off the user-interface thread: what the browser asks, what
// comes back, and the bounded queue between them. Opening a network path can
// wait on the network for many seconds, so the browser never does it itself;
// the worker thread that runs the probes is the shell's (share_probe_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
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
};

// The probe of a row's announced file.
ShareProbe AnnouncedShareProbe(const PeerRecord& record, ShareProbe::Kind kind);

// Runs one probe. The computer's own file (announced, played, its folder
// opened) is reached only on that computer; a playlist's entries, which the
// user asked for, wherever they are.
ShareProbeAnswer RunShareProbe(ShareProbe probe, const PathOpener& open);

// The probes waiting for the worker. Only the latest of each matters: a
// probe of an announced file replaces one still waiting for the same
// address, and a command one of its own kind, so a peer that changes its
// path on every packet, or a user who clicks twice, queues one probe.
class ShareProbeQueue {
  public:
    static constexpr size_t kCapacity = 64;

    // False when the queue is full: the probe is dropped.
    bool Push(ShareProbe probe);
    // The oldest waiting probe; false when none waits.
    bool Take(ShareProbe& next);
    void Clear() { waiting_.clear(); }

  private:
    std::deque<ShareProbe> waiting_;
};
