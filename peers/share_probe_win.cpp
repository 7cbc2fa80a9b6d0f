#include "peers/share_probe_win.h"

#include <new>

#include "base/owners_win.h"
#include <utility>

struct CShareProber::State {
    CriticalSection lock; // guards everything below
    ShareProbeQueue queue;
    std::vector<ShareProbeAnswer> answers;
    HWND window = nullptr; // not owned
    bool working = false;  // a worker is taking probes
    bool stopped = false;
};

namespace {

using State = CShareProber::State;

// Answers kept for a window that does not take them: as many as can wait.
constexpr size_t kAnswerRoom = ShareProbeQueue::kCapacity;

struct Worker {
    std::shared_ptr<State> state;
    HMODULE module; // a reference that keeps our code loaded while the thread runs
};

// Runs the queued probes one by one and ends when none waits.
void RunProbes(State& s) {
    for (;;) {
        ShareProbe probe;
        {
            Locked l(s.lock);
            if (s.stopped || !s.queue.Take(probe)) {
                s.working = false;
                return;
            }
        }
        try {
            ShareProbeAnswer answer = RunShareProbe(std::move(probe), OpenForReading);
            HWND window = nullptr;
            {
                Locked l(s.lock);
                if (s.stopped) continue;
                if (s.answers.size() >= kAnswerRoom) {
                    OutputDebugStringA("Orvela: a share probe's answer was dropped\n");
                    continue;
                }
                s.answers.push_back(std::move(answer));
                window = s.window;
            }
            if (window) PostMessageA(window, WM_SHARE_PROBED, 0, 0);
        } catch (const std::bad_alloc&) {
            OutputDebugStringA("Orvela: a share probe ran out of memory\n");
        }
    }
}

DWORD WINAPI WorkerMain(void* parameter) {
    auto* worker = static_cast<Worker*>(parameter);
    RunProbes(*worker->state);
    HMODULE module = worker->module;
    delete worker;
    // Our reference kept the module loaded even if its host let it go
    // meanwhile; this lets go of it without returning into it.
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

// Starts a worker for the queued probes; the caller holds the lock.
bool StartWorker(const std::shared_ptr<State>& state) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&WorkerMain), &module);
    auto* worker = new (std::nothrow) Worker{state, module};
    const UniqueHandle thread(worker ? CreateThread(nullptr, 0, &WorkerMain, worker, 0, nullptr)
                                     : nullptr);
    if (thread) return true;
    delete worker;
    if (module) FreeLibrary(module);
    OutputDebugStringA("Orvela: the share probe's thread did not start\n");
    return false;
}

} // namespace

CShareProber::CShareProber() : state_(std::make_shared<State>()) {}

CShareProber::~CShareProber() {
    Stop();
}

void CShareProber::SetNotifyWindow(HWND window) {
    Locked l(state_->lock);
    state_->window = window;
}

bool CShareProber::Request(ShareProbe probe) {
    Locked l(state_->lock);
    if (state_->stopped) return false;
    if (!state_->queue.Push(std::move(probe))) {
        OutputDebugStringA("Orvela: too many share probes waiting; one was dropped\n");
        return false;
    }
    // A worker that did not start leaves the probe queued for the next one.
    if (!state_->working) state_->working = StartWorker(state_);
    return true;
}

std::vector<ShareProbeAnswer> CShareProber::TakeAnswers() {
    Locked l(state_->lock);
    return std::exchange(state_->answers, {});
}

void CShareProber::Stop() {
    Locked l(state_->lock);
    state_->stopped = true;
    state_->queue.Clear();
    state_->answers.clear();
    state_->window = nullptr;
}
