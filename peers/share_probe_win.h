// The browser's share prober: worker threads open the network names of the
// queued probes, so that a slow or unreachable share never holds up the
// player's window; one for the announced files and one for the user's
// commands, so that a click never waits behind a row's probe. Answers wait
// here until the window takes them; WM_SHARE_PROBED only says that some are
// waiting.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "peers/share_probe.h"

class CShareProber {
  public:
    CShareProber();
    // Stops: a worker still busy ends after its current probe, on its own.
    ~CShareProber();
    CShareProber(const CShareProber&) = delete;
    CShareProber& operator=(const CShareProber&) = delete;

    // The window that gets WM_SHARE_PROBED. Not owned.
    void SetNotifyWindow(HWND window);
    // Queues a probe, starting the worker when none runs. False when it was
    // dropped: the queue is full or the prober stopped.
    bool Request(ShareProbe probe);
    // The answers that came back since the last call, oldest first; `lost`
    // gets the addresses whose announced answer found no room (their rows
    // ask again).
    std::vector<ShareProbeAnswer> TakeAnswers(std::vector<std::string>& lost);
    // Forgets what waits and takes nothing more; for a window going away.
    void Stop();

    struct State; // shared with the worker, which may outlive this object

  private:
    std::shared_ptr<State> state_;
};
