// in_orvela against what a LAN or a platform may do to it: a flood from
// another sender, a peer that never answers, no stop event, and a thousand
// Play/Stop cycles. The figures are printed as well as checked.
#include "tests/windows/instream_host.h"

#include <tlhelp32.h>

#include "scrollskin/redirect_win.h"

namespace {

using namespace instream_test;

// This process's entries in the system's handle list (GetProcessHandleCount
// is a stub under Wine).
DWORD HandleCount() {
    struct Entry {
        ULONG ownerPid;
        BYTE type, flags;
        USHORT value;
        void* object;
        ULONG access;
    };
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<ULONG_PTR> buffer(1 << 14);
    LONG status = -1;
    for (int i = 0; i < 12; ++i) {
        ULONG needed = 0;
        status = query(16 /* SystemHandleInformation */, buffer.data(),
                       ULONG(buffer.size() * sizeof(ULONG_PTR)), &needed);
        if (status != LONG(0xC0000004)) break; // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return 0;
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + 1);
    DWORD n = 0;
    for (ULONG i = 0; i < ULONG(buffer[0]); ++i)
        n += entries[i].ownerPid == GetCurrentProcessId();
    return n;
}

// The process's handles and threads, and the plug-in's private heap.
struct Usage {
    DWORD handles = 0;
    DWORD threads = 0;
    size_t heap = 0;

    static Usage Now() {
        Usage u;
        u.handles = HandleCount();
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        THREADENTRY32 t{};
        t.dwSize = sizeof t;
        for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
            if (t.th32OwnerProcessID == GetCurrentProcessId()) ++u.threads;
        CloseHandle(snap);
        u.heap = in_orvela::CurrentHeapBytes();
        return u;
    }
};

struct InStreamLinkedHazards : InStreamHost {
    PeerSim peer;
    InStreamLinkedHazards() { linked = true; }
};

TEST_F(InStreamLinkedHazards, AFloodFromAnotherSenderKeepsTheHeapBoundedAndTheStreamPlaying) {
    RecordingOutput::Settings s;
    s.canWrite = 0; // nothing is taken while the flood lasts: everything received queues
    output.Set(s);
    ASSERT_TRUE(peer.Start("--port 6140 --format 1 --flood 500:20000 --close-after 5000 "
                           "--duration 8000"));
    Play(Location(6140));
    ASSERT_TRUE(peer.WaitFor("flood sent=", 5000)) << peer.Log();
    player.Pump(700);
    const size_t heap = in_orvela::CurrentHeapBytes();
    // Four seconds of format 1, and the playback's own buffers.
    const size_t bound = 4 * 176400 + 512 * 1024;
    std::printf("flood of 20000 datagrams: private heap %zu bytes (bound %zu)\n", heap, bound);
    EXPECT_LE(heap, bound);
    EXPECT_EQ(in_orvela::CurrentSessionState(), instream::SESSION_STREAMING);
    s.canWrite = 1 << 20;
    output.Set(s);
    EXPECT_TRUE(WaitForPcm(output.PcmBytes() + 176400, 3000)) << "the stream stopped";
    EXPECT_EQ(Eofs(), 0u);
}

TEST_F(InStreamLinkedHazards, APeerSilentAfterOpenStreamEndsTheTrackAfterSevenSeconds) {
    ASSERT_TRUE(peer.Start("--port 6141 --no-answer --duration 9000"));
    const DWORD start = GetTickCount();
    Play(Location(6141));
    ASSERT_TRUE(WaitForEof(10000));
    const DWORD took = GetTickCount() - start;
    std::printf("no answer: the track ended after %lu ms\n", took);
    EXPECT_GE(took, 7000u);
    EXPECT_LT(took, 8500u);
    EXPECT_EQ(in_orvela::CurrentSessionError(), 10060); // WSAETIMEDOUT
    EXPECT_EQ(output.Calls().opens, 0);
    EXPECT_LT(TimedStop(), 2000u);
}

// Three hundred cycles after the first hundred: a handle, a thread or heap
// kept by each cycle would show three hundredfold.
TEST_F(InStreamLinkedHazards, FourHundredPlayStopCyclesLeaveNothingBehind) {
    constexpr int kCycles = 400;
    ASSERT_TRUE(peer.Start("--port 6142 --format 5 --sessions 400 --duration 3000 --wait 10000"));
    Usage first;
    const DWORD start = GetTickCount();
    for (int i = 0; i < kCycles; ++i) {
        Play(Location(6142));
        ASSERT_TRUE(player.PumpUntil(
            [] { return in_orvela::CurrentSessionState() == instream::SESSION_STREAMING; }, 3000))
            << "cycle " << i;
        ASSERT_LT(TimedStop(), 2000u) << "cycle " << i;
        if (i == 99) first = Usage::Now(); // after the platform's own first-use allocations
    }
    const Usage last = Usage::Now();
    std::printf("%d Play/Stop cycles in %lu ms; from cycle 100 to %d: handles %lu -> %lu, "
                "threads %lu -> %lu, private heap %zu -> %zu bytes\n",
                kCycles, GetTickCount() - start, kCycles, first.handles, last.handles,
                first.threads, last.threads, first.heap, last.heap);
    EXPECT_GT(first.handles, 0u);
    EXPECT_LE(last.handles, first.handles + 4);
    EXPECT_LE(last.threads, first.threads);
    EXPECT_LE(last.heap, first.heap);
    ASSERT_TRUE(peer.WaitFor("done", 10000));
    EXPECT_EQ(peer.Count("text=\"CLOSE_STREAM\""), size_t(kCycles));
}

HMODULE g_plugin = nullptr;
LONG g_refused = 0;
Redirection g_events[] = {{"CreateEventA", nullptr, nullptr}};

// CreateEventA failing for the plug-in alone.
HANDLE WINAPI RefuseEvents(LPSECURITY_ATTRIBUTES a, BOOL manual, BOOL initial, LPCSTR name) {
    HMODULE caller = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(__builtin_return_address(0)), &caller);
    if (caller == g_plugin) {
        InterlockedIncrement(&g_refused);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<decltype(&CreateEventA)>(g_events[0].original)(a, manual, initial,
                                                                           name);
}

TEST_F(InStreamHost, WithoutAStopEventThePlaybackFailsAndStopReturns) {
    g_plugin = dll;
    g_events[0].replacement = reinterpret_cast<void*>(&RefuseEvents);
    ASSERT_GT(RedirectImports("kernel32.dll", g_events, 1, nullptr), 0u);
    module->Quit(); // the stop event is made by Init
    module->Init();
    Play(Location(6143));
    player.Pump(300);
    EXPECT_LT(TimedStop(), 2000u);
    RestoreImports("kernel32.dll", g_events, 1, nullptr);
    EXPECT_GE(g_refused, 2); // at Init and again at Play
    EXPECT_EQ(output.Calls().opens, 0);
}

} // namespace
