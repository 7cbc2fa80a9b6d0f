// Figures of the skinned browser, printed and never judged by time: a full
// repaint of a page of rows, the time from a presence packet to its row on
// screen, and a LAN of 250 computers announcing once a second for a minute.
// gen_orvela.dll is hosted by the player emulator. tools/bench.sh runs this
// program inside the rig only: its multicast never leaves the rig's namespace.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "browser/listview_win.h"
#include "scrollskin/redirect_win.h"
#include "tests/common/packet_bytes.h"
#include "tests/windows/browser_support.h"
#include "tests/windows/presence_harness.h"
#include "wire/protocol.h"

namespace {

using namespace browser_test;
using namespace presence_test;

double NowMs() {
    static const double perMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / perMs;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Presence packets from loopback sources (127.0.x.y) to the first run's
// group, with a TTL of 1 and the source as the multicast interface.
class Announcer {
  public:
    ~Announcer() {
        for (auto& [src, s] : sockets_)
            closesocket(s);
    }
    bool Send(const std::string& src, const std::string& name) {
        SOCKET s = Socket(src);
        if (s == INVALID_SOCKET) return false;
        const auto bytes = test_packets::Packet({{wire::PRESENCE_COMPUTER_NAME, name},
                                                 {wire::PRESENCE_USER_NAME, "bench"},
                                                 {wire::PRESENCE_TITLE, "a title " + name}});
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(5145);
        to.sin_addr.s_addr = inet_addr("225.5.5.100");
        return sendto(s, reinterpret_cast<const char*>(bytes.data()),
                      static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                      sizeof to) > 0;
    }

  private:
    SOCKET Socket(const std::string& src) {
        if (auto it = sockets_.find(src); it != sockets_.end()) return it->second;
        const unsigned long addr = inet_addr(src.c_str());
        if ((ntohl(addr) >> 24) != 127) return INVALID_SOCKET;
        SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = addr;
        const DWORD ttl = 1;
        in_addr via{};
        via.s_addr = addr;
        if (s == INVALID_SOCKET || bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) ||
            setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&ttl),
                       sizeof ttl) ||
            setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&via),
                       sizeof via)) {
            if (s != INVALID_SOCKET) closesocket(s);
            return INVALID_SOCKET;
        }
        return sockets_[src] = s;
    }
    std::map<std::string, SOCKET> sockets_;
};

// Counts the window-property look-ups of every module while redirected:
// under Wine each one is a round trip to the wineserver.
namespace props {
std::atomic<long> calls{0};
HANDLE WINAPI CountingA(HWND, LPCSTR);
HANDLE WINAPI CountingW(HWND, LPCWSTR);
Redirection table[] = {{"GetPropA", reinterpret_cast<void*>(&CountingA), nullptr},
                       {"GetPropW", reinterpret_cast<void*>(&CountingW), nullptr}};
HANDLE WINAPI CountingA(HWND w, LPCSTR name) {
    ++calls;
    return reinterpret_cast<decltype(&GetPropA)>(table[0].original)(w, name);
}
HANDLE WINAPI CountingW(HWND w, LPCWSTR name) {
    ++calls;
    return reinterpret_cast<decltype(&GetPropW)>(table[1].original)(w, name);
}
} // namespace props

// Watches the browser from outside: when the list's paint that drew the
// awaited computer's row ended.
struct PaintWatch {
    static inline WNDPROC dialogProc = nullptr, listProc = nullptr;
    static inline HWND list = nullptr;
    static inline std::string awaited;
    static inline bool drawn = false;
    static inline double drawnAt = 0;

    static LRESULT CALLBACK Dialog(HWND h, UINT msg, WPARAM w, LPARAM l) {
        const auto* cd = reinterpret_cast<const NMLVCUSTOMDRAW*>(l);
        if (msg == WM_NOTIFY && cd->nmcd.hdr.hwndFrom == list &&
            cd->nmcd.hdr.code == NM_CUSTOMDRAW && cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT)
            if (const auto* r = reinterpret_cast<const PeerRecord*>(cd->nmcd.lItemlParam);
                r && awaited == r->address)
                drawn = true;
        return CallWindowProcA(dialogProc, h, msg, w, l);
    }
    static LRESULT CALLBACK List(HWND h, UINT msg, WPARAM w, LPARAM l) {
        const LRESULT result = CallWindowProcA(listProc, h, msg, w, l);
        if (msg == WM_PAINT && drawn && drawnAt == 0) drawnAt = NowMs();
        return result;
    }
};

struct BrowserBench : PresenceTest {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};
    HWND dialog = nullptr;
    ListView rows{nullptr};
    Announcer announcer;

    void SetUp() override {
        // Multicast is sent here: only ever inside the rig's namespace.
        const char* rig = std::getenv("ORVELA_IN_RIG");
        if (!rig || std::string(rig) != "1") GTEST_SKIP() << "run by tools/bench.sh in the rig";
        PresenceTest::SetUp();
        if (IsSkipped()) return;
        ResetSettings(nullptr);
        ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
        SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);
        ASSERT_NE(player.Frame(), nullptr);
        SetWindowPos(player.Frame(), nullptr, 0, 0, 640, 700, SWP_NOZORDER | SWP_NOACTIVATE);
        dialog = DialogChildren(player.Frame()).front();
        rows = ListView(GetDlgItem(dialog, 1007));
    }
    void TearDown() override {
        if (dialog) {
            player.QuitGeneralPlugin();
            player.DestroyFrames();
            RemoveSettings();
        }
        PresenceTest::TearDown();
    }

    int PerPage() const {
        return static_cast<int>(SendMessageA(rows.Handle(), LVM_GETCOUNTPERPAGE, 0, 0));
    }
    // Computers 127.0.0.10 and up, `n` of them, announced once more.
    void Fill(int n) {
        for (int i = 0; i < n; ++i)
            announcer.Send("127.0.0." + std::to_string(10 + i), "PAGE" + std::to_string(i));
    }
    void Repaint(UINT extra = 0) {
        RedrawWindow(rows.Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | extra);
    }
};

TEST_F(BrowserBench, FullPageRepaint) {
    const int page = PerPage();
    Fill(page);
    ASSERT_TRUE(PumpUntil([&] { return rows.Count() >= page; }, 10000));
    for (int i = 0; i < 5; ++i)
        Repaint();
    std::vector<double> client, frame;
    long propsPerRepaint = 0;
    for (int batch = 0; batch < 6; ++batch) {
        Fill(page); // before the rows' silence removes them
        PumpFor(50);
        for (int i = 0; i < 10; ++i) {
            const double t = NowMs();
            Repaint();
            client.push_back(NowMs() - t);
            const double f = NowMs();
            Repaint(RDW_FRAME);
            frame.push_back(NowMs() - f);
        }
    }
    ASSERT_GT(RedirectImports("user32.dll", props::table, 2, nullptr), 0u);
    props::calls = 0;
    Repaint();
    propsPerRepaint = props::calls;
    RestoreImports("user32.dll", props::table, 2, nullptr);
    EXPECT_EQ(rows.Count(), page);
    std::printf(
        "[bench] full page repaint, %d rows x %d columns: client p50 %.2f ms, p95 %.2f "
        "ms; with the scroll bars p50 %.2f ms, p95 %.2f ms; window-property look-ups per repaint "
        "%ld\n",
        page, rows.HeaderCount(), Percentile(client, 0.5), Percentile(client, 0.95),
        Percentile(frame, 0.5), Percentile(frame, 0.95), propsPerRepaint);
}

TEST_F(BrowserBench, PacketToRow) {
    // A new computer announces once and is removed 4 to 6 s later: at one
    // every 400 ms at most 16 of them are listed, so each new row lands on
    // the visible page, below the fillers.
    const int fillers = std::max(PerPage() - 20, 1);
    Fill(fillers);
    ASSERT_TRUE(PumpUntil([&] { return rows.Count() >= fillers; }, 10000));
    PaintWatch::list = rows.Handle();
    PaintWatch::dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintWatch::Dialog)));
    PaintWatch::listProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        rows.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PaintWatch::List)));
    std::vector<double> waits;
    int missed = 0;
    double lastFill = NowMs();
    for (int i = 0; i < 60; ++i) {
        if (NowMs() - lastFill > 1000) {
            Fill(fillers);
            lastFill = NowMs();
        }
        PumpFor(400);
        PaintWatch::awaited = "127.0.1." + std::to_string(1 + i);
        PaintWatch::drawn = false;
        PaintWatch::drawnAt = 0;
        const double sent = NowMs();
        ASSERT_TRUE(announcer.Send(PaintWatch::awaited, "NEW" + std::to_string(i)));
        if (PumpUntil([] { return PaintWatch::drawnAt != 0; }, 2000))
            waits.push_back(PaintWatch::drawnAt - sent);
        else
            ++missed;
    }
    SetWindowLongPtrA(rows.Handle(), GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(PaintWatch::listProc));
    SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaintWatch::dialogProc));
    EXPECT_EQ(missed, 0) << "rows never painted";
    std::printf("[bench] presence packet to its row painted, %zu new rows beside %d: p50 %.2f ms, "
                "p95 %.2f ms, max %.2f ms\n",
                waits.size(), fillers, Percentile(waits, 0.5), Percentile(waits, 0.95),
                Percentile(waits, 1.0));
}

// CPU seconds of the rig's wineserver and X server so far, which do part of
// the browser's work under Wine.
std::map<std::string, double> HelperCpuSeconds() {
    ShellJob job;
    std::map<std::string, double> out;
    // Only those of this rig: the ones in its network namespace. Builtins
    // where it can: forks are slow under Wine.
    if (!job.Start("hz=$(getconf CLK_TCK); ns=$(readlink /proc/self/ns/net)\n"
                   "for p in /proc/[0-9]*; do read c 2>/dev/null <$p/comm || continue\n"
                   " case $c in wineserver*|Xvfb)\n"
                   "  [ \"$(readlink $p/ns/net)\" = \"$ns\" ] || continue\n"
                   "  read s <$p/stat; set -- $s; echo \"$c $((${14} + ${15})) $hz\";; esac\n"
                   "done") ||
        !job.Wait(30000))
        return out;
    char name[64];
    long ticks = 0, hz = 0;
    const std::string text = job.Output();
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        if (std::sscanf(line.c_str(), "%63s %ld %ld", name, &ticks, &hz) == 3 && hz > 0)
            out[name] += static_cast<double>(ticks) / static_cast<double>(hz);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& f) {
        return static_cast<double>((uint64_t{f.dwHighDateTime} << 32) | f.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

TEST_F(BrowserBench, LanOf250ComputersForAMinute) {
    constexpr int kComputers = 250;
    std::string body = ShellQuote(kPeersim) +
                       " presence --group 225.5.5.100 --port 5145 --interval 1000 --count 60"
                       " --duration 61000";
    for (int i = 0; i < kComputers; ++i)
        body += " --peer --src 127.0.2." + std::to_string(1 + i) + " --comp LAN" +
                std::to_string(i) + " --user u --title 'some title'";
    // A thread that asks the browser for an answer every 10 ms: the longest
    // wait is how long the browser kept its user waiting, while the list
    // fills (phase 0) and for 20 s once every computer is listed (phase 1).
    // The CPU figures are of the rest of the minute (phase 2), when nobody asks.
    std::atomic<int> phase{0};
    double longest[2] = {};
    std::thread asker([&] {
        for (int now; (now = phase) < 2;) {
            const double t = NowMs();
            DWORD_PTR answer = 0;
            SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
            longest[now] = std::max(longest[now], NowMs() - t);
            Sleep(10);
        }
    });
    const double start = NowMs();
    ShellJob sims;
    ASSERT_TRUE(sims.Start(body));
    PumpUntil([&] { return rows.Count() >= kComputers; }, 20000);
    const double filled = NowMs() - start;
    phase = 1;
    int fewest = kComputers;
    const auto watch = [&](double untilMs) {
        while (!sims.Done() && NowMs() - start < untilMs) {
            PumpFor(250);
            fewest = std::min(fewest, rows.Count());
        }
    };
    watch(filled + 20000);
    phase = 2;
    asker.join();
    const auto helpersBefore = HelperCpuSeconds();
    const double cpuBefore = CpuSeconds(), quietFrom = NowMs();
    watch(75000);
    const double wall = (NowMs() - quietFrom) / 1000.0, cpu = CpuSeconds() - cpuBefore;
    const auto helpersAfter = HelperCpuSeconds();
    // At once: the last round is less than the silence that removes a row ago.
    std::set<std::string> listed;
    for (int i = 0; i < rows.Count(); ++i)
        if (const PeerRecord* r = rows.Record(i)) listed.insert(r->address);
    EXPECT_EQ(sims.Status(), 0) << sims.Output();
    EXPECT_EQ(listed.size(), size_t{kComputers}) << "every computer listed to the end";
    std::printf("[bench] %d computers announcing once a second for %.0f s: over the last %.0f s, "
                "browser process CPU %.2f s (%.2f %% of one core)",
                kComputers, (NowMs() - start) / 1000.0, wall, cpu, 100 * cpu / wall);
    for (const auto& [name, seconds] : helpersAfter)
        if (helpersBefore.count(name))
            std::printf(", %s %.2f %%", name.c_str(),
                        100 * (seconds - helpersBefore.at(name)) / wall);
    std::printf("; all listed after %.0f ms; longest wait for an answer %.1f ms while filling, "
                "%.1f ms after; fewest rows listed after %d, at the end %zu\n",
                filled, longest[0], longest[1], fewest, listed.size());
}

} // namespace
