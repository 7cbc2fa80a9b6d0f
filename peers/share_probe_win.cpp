#include "peers/share_probe_win.h"

#include <new>

#include <ws2tcpip.h>

#include <utility>

#include "base/lock.h"
#include "base/owners_win.h"
#include "wire/interfaces_win.h"

struct CShareProber::State {
    Lock lock; // guards everything below
    ShareProbeQueue queue;
    std::vector<ShareProbeAnswer> answers;
    std::vector<std::string> lost; // addresses whose answer found no room
    HWND window = nullptr;         // not owned
    bool working[2] = {};          // a worker takes probes of that lane
    bool stopped = false;
};

namespace {

using State = CShareProber::State;

// Answers kept for a window that does not take them: as many as can wait.
constexpr size_t kAnswerRoom = ShareProbeQueue::kCapacity;

using Lane = ShareProbeQueue::Lane;

struct Worker {
    std::shared_ptr<State> state;
    Lane lane;
    HMODULE module; // a reference that keeps our code loaded while the thread runs
};

// True when `path` names a folder, never a file.
bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the system resolves `name` to `address`: only then is a server of
// that name the announcing computer itself.
bool NameIsAt(const std::string& name, const std::string& address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return false;
    const unsigned long wanted = inet_addr(address.c_str());
    bool at = false;
    for (const addrinfo* a = found; a && !at; a = a->ai_next)
        at = a->ai_family == AF_INET &&
             reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr == wanted;
    freeaddrinfo(found);
    return at;
}

// What `probe` needs of the system: the local subnets only for a playlist.
ProbeSystem TheSystem(const ShareProbe& probe) {
    ProbeSystem system{OpenForReading, IsFolder, NameIsAt, {}, [] {
                           return static_cast<uint32_t>(GetTickCount());
                       }};
    if (probe.kind != ShareProbe::Kind::Playlist) return system;
    const UniqueSocket s(socket(AF_INET, SOCK_DGRAM, 0));
    if (!s || !ReadLocalInterfaces(s.Get(), system.interfaces))
        OutputDebugStringA("Orvela: the local subnets could not be read for a share probe\n");
    return system;
}

// Runs the lane's queued probes one by one and ends when none waits.
void RunProbes(State& s, Lane lane) {
    for (;;) {
        ShareProbe probe;
        {
            Guard l(s.lock);
            if (s.stopped || !s.queue.Take(probe, lane)) {
                s.working[static_cast<int>(lane)] = false;
                return;
            }
        }
        try {
            const ProbeSystem system = TheSystem(probe);
            ShareProbeAnswer answer = RunShareProbe(std::move(probe), system);
            HWND window = nullptr;
            {
                Guard l(s.lock);
                if (s.stopped) continue;
                // A command's answer is kept whatever waits: the user asked for it.
                // An announced one without room is owed: its row asks again.
                if (answer.probe.kind == ShareProbe::Kind::Announced &&
                    s.answers.size() >= kAnswerRoom) {
                    if (s.lost.size() < static_cast<size_t>(kMaxPeerRows))
                        s.lost.push_back(answer.probe.address);
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
    {
        // The thread may outlive the browser that started it, so it holds
        // the socket library for its own names and sockets.
        const WinsockSession winsock;
        RunProbes(*worker->state, worker->lane);
    }
    HMODULE module = worker->module;
    delete worker;
    // Our reference kept the module loaded even if its host let it go
    // meanwhile; this lets go of it without returning into it.
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

// Starts a worker for the lane's queued probes; the caller holds the lock.
bool StartWorker(const std::shared_ptr<State>& state, Lane lane) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&WorkerMain), &module);
    auto* worker = new (std::nothrow) Worker{state, lane, module};
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
    Guard l(state_->lock);
    state_->window = window;
}

bool CShareProber::Request(ShareProbe probe) {
    const Lane lane = ShareProbeQueue::LaneOf(probe);
    Guard l(state_->lock);
    if (state_->stopped) return false;
    if (!state_->queue.Push(std::move(probe))) {
        OutputDebugStringA("Orvela: too many share probes waiting; one was dropped\n");
        return false;
    }
    // A worker that did not start leaves the probe queued for the next one.
    bool& working = state_->working[static_cast<int>(lane)];
    if (!working) working = StartWorker(state_, lane);
    return true;
}

std::vector<ShareProbeAnswer> CShareProber::TakeAnswers(std::vector<std::string>& lost) {
    Guard l(state_->lock);
    lost = std::exchange(state_->lost, {});
    return std::exchange(state_->answers, {});
}

void CShareProber::Stop() {
    Guard l(state_->lock);
    state_->stopped = true;
    state_->queue.Clear();
    state_->answers.clear();
    state_->lost.clear();
    state_->window = nullptr;
}
