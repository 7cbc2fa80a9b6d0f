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

// Runs one probe. The computer's own file (announced, played, its folder
// opened) is reached only on that computer; a playlist's entries, which the
// user asked for, wherever they are. `isFolder` checks the folder of an
// OpenFolder probe.
ShareProbeAnswer RunShareProbe(ShareProbe probe, const PathOpener& open,
                               const PathOpener& isFolder = {});

// The probes waiting for the worker. Only the latest of each matters: a
// probe of an announced file replaces one still waiting for the same
// address, and a command one of its own kind, so a peer that changes its
// path on every packet, or a user who clicks twice, queues one probe.
// Announced probes share a bounded room; the user's commands (at most one of
// each kind) are never dropped and go before every announced probe, so a
// crowd of announcers can neither lose nor delay a click.
class ShareProbeQueue {
  public:
    static constexpr size_t kCapacity = 64; // announced probes

    // False when an announced probe finds the room full: it is dropped, and
    // the row asks again at its next announcement.
    bool Push(ShareProbe probe);
    // The oldest waiting probe; false when none waits.
    bool Take(ShareProbe& next);
    void Clear() {
        commands_.clear();
        announced_.clear();
    }

  private:
    std::deque<ShareProbe> commands_, announced_;
};
