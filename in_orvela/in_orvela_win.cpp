// in_orvela: the player's input module for stream locations. The record and
// its callbacks, the start and stop of a playback, and the decode thread's
// bridge to the player's output module.
#include <windows.h>
#include <winsock2.h>

#include <atomic>
#include <cstring>
#include <optional>

#include "base/errors.h"
#include "base/heap_win.h"
#include "base/text.h"
#include "in_orvela/in_orvela_win.h"
#include "instream/network_win.h"
#include "instream/playback.h"
#include "sdk/winamp.h"
#include "wire/location.h"

namespace {

using namespace instream;

extern In_Module g_module;

// The player's output module and the input module's visualisation, DSP and
// information functions, which the player fills into our record.
class ModuleOutput final : public PlaybackOutput {
  public:
    int Open(int rate, int channels, int bits, int bufferLenMs, int prebufferMs) override {
        return g_module.outMod->Open(rate, channels, bits, bufferLenMs, prebufferMs);
    }
    int Write(char* buffer, int length) override { return g_module.outMod->Write(buffer, length); }
    int CanWrite() override { return g_module.outMod->CanWrite(); }
    int IsPlaying() override { return g_module.outMod->IsPlaying(); }
    void SetVolume(int volume) override { g_module.outMod->SetVolume(volume); }
    void SetInfo(int bitrate, int rate, int stereo, int synched) override {
        if (g_module.SetInfo) g_module.SetInfo(bitrate, rate, stereo, synched);
    }
    void SAVSAInit(int maxLatencyMs, int rate) override {
        if (g_module.SAVSAInit) g_module.SAVSAInit(maxLatencyMs, rate);
    }
    void SAAddPCMData(void* pcm, int channels, int bits, int timestamp) override {
        if (g_module.SAAddPCMData) g_module.SAAddPCMData(pcm, channels, bits, timestamp);
    }
    void VSAAddPCMData(void* pcm, int channels, int bits, int timestamp) override {
        if (g_module.VSAAddPCMData) g_module.VSAAddPCMData(pcm, channels, bits, timestamp);
    }
    void VSASetInfo(int rate, int channels) override {
        if (g_module.VSASetInfo) g_module.VSASetInfo(rate, channels);
    }
    int DspIsActive() override { return g_module.dsp_isactive ? g_module.dsp_isactive() : 0; }
    int DspDoSamples(short* samples, int frames, int bits, int channels, int rate) override {
        return g_module.dsp_dosamples(samples, frames, bits, channels, rate);
    }
    void PostEndOfFile() override { PostMessageA(g_module.hMainWindow, wa::WM_WA_MPEG_EOF, 0, 0); }
};

class TickClock final : public Clock {
  public:
    uint32_t TickCount() override { return GetTickCount(); }
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
};

// Everything Init makes and Quit releases. Members go in reverse order, so
// the heap and the lock outlive whatever allocates from them, and the
// socket library every socket.
struct Plugin {
    WinsockSession winsock;
    PrivateHeap heap;
    Lock lock;
    UniqueHandle stopEvent{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    SessionStatus status;
    PcmQueue queue{heap, lock};
    codec::ImaDecoder decoder{heap};
    StreamNetwork network{heap, decoder, queue, status, stopEvent.Get()};
    ModuleOutput output;
    TickClock clock;
    DecodeLoop loop{output, clock, status, queue, heap};
    UniqueHandle networkThread;
    UniqueHandle decodeThread;
    std::atomic<int32_t> kill{0};
    char location[wire::kMaxLocation + 1] = {};
};

std::optional<Plugin> g_plugin;

DWORD WINAPI DecodeThread(void* killFlag) {
    try {
        g_plugin->loop.Run(*static_cast<std::atomic<int32_t>*>(killFlag));
    } catch (...) {
    }
    return 0;
}

// Ends both threads: the decode thread first, then the network thread, which
// says "CLOSE_STREAM" to the peer on its way out.
void EndThreads(Plugin& p) {
    if (p.decodeThread) {
        p.kill = 1;
        WaitForSingleObject(p.decodeThread.Get(), INFINITE);
        p.decodeThread.Reset();
    }
    if (p.networkThread) {
        SetEvent(p.stopEvent.Get());
        WaitForSingleObject(p.networkThread.Get(), INFINITE);
        p.networkThread.Reset();
    }
}

void CopyTitle(char* title, std::string_view text) {
    constexpr size_t kMaxTitle = 1023; // the player's title buffers are larger still
    const size_t n = text.size() < kMaxTitle ? text.size() : kMaxTitle;
    std::memcpy(title, text.data(), n);
    title[n] = 0;
}

void WA_CDECL Config(HWND) {}

void WA_CDECL About(HWND parent) {
    MessageBoxA(parent, "Orvela instream decoder v1.0", "About Orvela decoder", MB_OK);
}

void WA_CDECL Init() {
    try {
        g_plugin.emplace();
    } catch (...) {
    }
}

void WA_CDECL Quit() {
    if (!g_plugin) return;
    EndThreads(*g_plugin);
    g_plugin.reset();
}

int WA_CDECL GetLength() {
    return 0;
}

void WA_CDECL GetFileInfo(char* file, char* title, int* length) {
    try {
        if (file && *file) {
            if (length) *length = -1000;
            if (title) CopyTitle(title, wire::LocationTitle(file));
        } else {
            if (length) *length = GetLength();
            if (title) CopyTitle(title, g_plugin ? wire::LocationTitle(g_plugin->location) : "");
        }
    } catch (...) {
    }
}

int WA_CDECL InfoBox(char*, HWND) {
    return 0;
}

int WA_CDECL IsOurFile(char* name) {
    return name && wire::IsStreamLocation(name) ? 1 : 0;
}

int WA_CDECL Play(char* name) {
    if (!g_plugin) return 0;
    try {
        Plugin& p = *g_plugin;
        EndThreads(p); // a Play without a Stop before it
        p.status.Reset();
        p.queue.Clear();
        p.loop.Reset();
        CopyText(p.location, name ? name : "");
        p.network.Prepare(p.location); // without buffers the thread fails the session
        // Without its stop event the network thread could never be stopped:
        // the session fails before it starts.
        if (!p.stopEvent) p.stopEvent = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        p.network.SetStopEvent(p.stopEvent.Get());
        // Reset here, before the thread exists, and never by the thread: a
        // Stop that comes at any moment from now on ends the thread's wait.
        if (p.stopEvent && ResetEvent(p.stopEvent.Get()))
            p.networkThread = UniqueHandle(
                CreateThread(nullptr, 0, &StreamNetwork::ThreadEntry, &p.network, 0, nullptr));
        if (p.networkThread) {
            SetThreadPriority(p.networkThread.Get(), THREAD_PRIORITY_HIGHEST);
        } else {
            const DWORD error = GetLastError();
            p.status.error = static_cast<int32_t>(error ? error : ERROR_NOT_ENOUGH_MEMORY);
            p.status.handshakeFinished = 1;
        }
        p.kill = 0;
        p.decodeThread = UniqueHandle(CreateThread(nullptr, 0, &DecodeThread, &p.kill, 0, nullptr));
        if (!p.decodeThread) p.status.decodeEnded = 1;
    } catch (...) {
    }
    return 0;
}

void WA_CDECL Pause() {
    if (g_plugin) g_plugin->status.paused = 1;
    if (g_module.outMod) g_module.outMod->Pause(1);
}

void WA_CDECL UnPause() {
    if (g_plugin) g_plugin->status.paused = 0;
    if (g_module.outMod) g_module.outMod->Pause(0);
}

int WA_CDECL IsPaused() {
    return g_plugin ? g_plugin->status.paused.load() : 0;
}

void WA_CDECL Stop() {
    if (!g_plugin) return;
    Plugin& p = *g_plugin;
    EndThreads(p);
    if (g_module.outMod) g_module.outMod->Close();
    if (g_module.SAVSADeInit) g_module.SAVSADeInit();
    p.loop.ReleaseBuffer();
    p.network.Release();
    p.queue.Clear();
}

int WA_CDECL GetOutputTime() {
    if (!g_plugin || !g_module.outMod) return 0;
    return g_plugin->loop.DecodedPosition() + g_module.outMod->GetOutputTime() -
           g_module.outMod->GetWrittenTime();
}

void WA_CDECL SetOutputTime(int) {}

void WA_CDECL SetVolume(int volume) {
    if (g_module.outMod) g_module.outMod->SetVolume(volume);
}

void WA_CDECL SetPan(int pan) {
    if (g_module.outMod) g_module.outMod->SetPan(pan);
}

void WA_CDECL EQSet(int, char[10], int) {}

// One entry, which no file name ends with: only IsOurFile claims names.
char g_extensions[] = "Orvela instream decoder v1.0\0";

In_Module g_module = {
    IN_VER,
    const_cast<char*>("Orvela instream decoder v1.0(x86)"),
    nullptr, // hMainWindow
    nullptr, // hDllInstance
    g_extensions,
    0, // is_seekable
    1, // UsesOutputPlug
    Config,
    About,
    Init,
    Quit,
    GetFileInfo,
    InfoBox,
    IsOurFile,
    Play,
    Pause,
    UnPause,
    IsPaused,
    Stop,
    GetLength,
    GetOutputTime,
    SetOutputTime,
    SetVolume,
    SetPan,
    nullptr, // SAVSAInit ... dsp_dosamples: the player's
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    EQSet,
    nullptr, // SetInfo
    nullptr, // outMod
};

} // namespace

namespace in_orvela {

In_Module* InputModule() {
    return &g_module;
}

int32_t CurrentSessionError() {
    return g_plugin ? g_plugin->status.error.load() : 0;
}

int32_t CurrentSessionState() {
    return g_plugin ? g_plugin->status.state.load() : int32_t{SESSION_HANDSHAKE};
}

size_t CurrentHeapBytes() {
    return g_plugin ? g_plugin->heap.BusyBytes() : 0;
}

} // namespace in_orvela

extern "C" In_Module* WA_CDECL winampGetInModule2() {
    return &g_module;
}
