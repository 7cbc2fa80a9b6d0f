// gen_orvela.dll hosted by the player emulator, its browser opened with
// "Local network...", listing the computers that the peer simulator
// announces inside the test's network namespace. What the table and the
// receiver do in detail is proven on the plain test window; these prove the
// browser wires them: the group it joins, its rows, its timer, its buttons
// and what it leaves behind when the player destroys it.
#include "base/lock.h"
#include "scrollskin/redirect_win.h"
#include "tests/windows/browser_support.h"
#include "tests/windows/presence_harness.h"

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace browser_test;
using namespace presence_test;

// Watches the browser dialog from outside: what reached it and what its list
// painted, by the sender's address. The plug-in's own procedure still
// handles every message.
class BrowserWatch {
  public:
    BrowserWatch(HWND dialog, HWND list) : dialog_(dialog), list_(list) {
        current_ = this;
        dialogProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogProc)));
        listProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc)));
    }
    ~BrowserWatch() {
        if (IsWindow(dialog_))
            SetWindowLongPtrA(dialog_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialogProc_));
        if (IsWindow(list_))
            SetWindowLongPtrA(list_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listProc_));
        current_ = nullptr;
    }
    BrowserWatch(const BrowserWatch&) = delete;
    BrowserWatch& operator=(const BrowserWatch&) = delete;

    int Rows() const { return static_cast<int>(SendMessageA(list_, LVM_GETITEMCOUNT, 0, 0)); }
    const PeerRecord* RecordAt(int row) const {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
        return reinterpret_cast<const PeerRecord*>(item.lParam);
    }
    int Row(const std::string& address) const {
        for (int i = 0; i < Rows(); ++i)
            if (const PeerRecord* r = RecordAt(i); r && address == r->address) return i;
        return -1;
    }
    const PeerRecord* Record(const std::string& address) const {
        const int row = Row(address);
        return row < 0 ? nullptr : RecordAt(row);
    }
    // Computer, User name, Title, Shared: the first run's columns.
    std::vector<std::string> Texts(const std::string& address) const {
        const int row = Row(address);
        if (row < 0) return {"<no row for " + address + ">"};
        return RowTexts(list_, row);
    }
    static int Count(const std::map<std::string, int>& counts, const std::string& address) {
        auto it = counts.find(address);
        return it == counts.end() ? 0 : it->second;
    }
    int Heard(const std::string& address) const { return Count(heard, address); }
    int Paints(const std::string& address) const { return Count(paints, address); }
    bool WaitHeard(const std::string& address, int times, DWORD limitMs = 15000) const {
        return PumpUntil([&] { return Heard(address) >= times; }, limitMs);
    }
    // Paints whatever is pending now, so that paint counts are settled.
    void Settle() const {
        UpdateWindow(list_);
        PumpFor(100);
        UpdateWindow(list_);
    }

    std::map<std::string, int> heard;  // records the browser took, by sender
    std::map<std::string, int> paints; // row paints of the list, by the row's sender
    int ticks = 0;                     // age-out ticks the browser handled
    std::vector<std::string> overdue;  // rows that a tick left though silent long enough
    int rowsAtListDestroy = -1;        // rows the list still had when it was destroyed
    int notices = 0;                   // socket notices that reached the browser
    int noticeErrors = 0;              // ... of them carrying an error

  private:
    static LRESULT CALLBACK DialogProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        BrowserWatch& self = *current_;
        switch (msg) {
        case WM_PRESENCE_SOCKET:
            ++self.notices;
            if (WSAGETSELECTERROR(l) != 0) ++self.noticeErrors;
            break;
        case WM_PEER_ANNOUNCED: {
            // One message may deliver several records: each one handed to
            // the table is a row that is new or was heard anew.
            std::map<std::string, uint32_t> before;
            for (int i = 0; i < self.Rows(); ++i)
                if (const PeerRecord* r = self.RecordAt(i)) before[r->address] = r->lastHeard;
            const LRESULT result = CallWindowProcA(self.dialogProc_, h, msg, w, l);
            for (int i = 0; i < self.Rows(); ++i)
                if (const PeerRecord* r = self.RecordAt(i)) {
                    const auto it = before.find(r->address);
                    if (it == before.end() || it->second != r->lastHeard) ++self.heard[r->address];
                }
            return result;
        }
        case WM_TIMER:
            if (w == BROWSER_TIMER_ID) {
                // Rows already silent for the limit before the tick must not
                // outlive it: the browser reads the clock no earlier than this.
                const uint32_t before = GetTickCount();
                std::vector<std::string> due;
                for (int i = 0; i < self.Rows(); ++i)
                    if (const PeerRecord* r = self.RecordAt(i);
                        r && before - r->lastHeard >= wire::kPresenceTimeoutMs)
                        due.push_back(r->address);
                const LRESULT result = CallWindowProcA(self.dialogProc_, h, msg, w, l);
                for (const std::string& address : due)
                    if (self.Row(address) >= 0) self.overdue.push_back(address);
                ++self.ticks;
                return result;
            }
            break;
        case WM_NOTIFY: {
            const auto* cd = reinterpret_cast<const NMLVCUSTOMDRAW*>(l);
            if (cd->nmcd.hdr.hwndFrom != self.list_ || cd->nmcd.hdr.code != NM_CUSTOMDRAW) break;
            if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                if (const auto* r = reinterpret_cast<const PeerRecord*>(cd->nmcd.lItemlParam))
                    ++self.paints[r->address];
            }
            const LRESULT result = CallWindowProcA(self.dialogProc_, h, msg, w, l);
            // Whatever the browser answers, its rows' paints are reported too.
            return cd->nmcd.dwDrawStage == CDDS_PREPAINT ? result | CDRF_NOTIFYITEMDRAW : result;
        }
        }
        return CallWindowProcA(self.dialogProc_, h, msg, w, l);
    }
    static LRESULT CALLBACK ListProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        BrowserWatch& self = *current_;
        if (msg == WM_DESTROY) self.rowsAtListDestroy = self.Rows();
        return CallWindowProcA(self.listProc_, h, msg, w, l);
    }

    static inline BrowserWatch* current_ = nullptr;
    HWND dialog_, list_;
    WNDPROC dialogProc_ = nullptr, listProc_ = nullptr;
};

struct BrowserPresence : PresenceTest {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};
    std::unique_ptr<BrowserWatch> watch;
    HWND dialog = nullptr, list = nullptr;

    void SetUp() override {
        PresenceTest::SetUp();
        if (IsSkipped()) return;
        ResetSettings(settingsContent);
        ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
        // The user chooses "Local network...".
        SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);
        const auto dialogs = DialogChildren(player.Frame());
        ASSERT_EQ(dialogs.size(), 1u);
        dialog = dialogs.front();
        list = GetDlgItem(dialog, 1007);
        ASSERT_NE(list, nullptr);
        watch = std::make_unique<BrowserWatch>(dialog, list);
    }
    void TearDown() override {
        player.QuitGeneralPlugin();
        player.DestroyFrames();
        watch.reset();
        RemoveSettings();
        PresenceTest::TearDown();
    }

    // Whether a socket of ours can take the port on any address: not while
    // the browser's receiver holds it.
    static bool PortIsFree(u_short port) {
        SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
        if (s == INVALID_SOCKET) return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        const bool free = bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        closesocket(s);
        return free;
    }

    const char* settingsContent = nullptr;
};

std::vector<std::string> Announce(const std::string& src, const std::string& comp,
                                  const std::string& user, const std::string& title,
                                  const std::string& path) {
    return {"--peer",  "--src", src,      "--comp", comp,         "--user", user,
            "--title", title,   "--path", path,     "--req-port", "5146"};
}

std::vector<std::string> Round(const std::vector<std::vector<std::string>>& peers) {
    // The first run's group, named here rather than left to the simulator.
    std::vector<std::string> args = {"--group", "225.5.5.100", "--port", "5145", "--count", "1"};
    for (const auto& p : peers)
        args.insert(args.end(), p.begin(), p.end());
    return args;
}

// This computer's address as the receiver looks it up.
std::string OwnAddress() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    const hostent* host = gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0])
        return {};
    in_addr a;
    std::memcpy(&a, host->h_addr_list[0], 4);
    return inet_ntoa(a);
}

TEST_F(BrowserPresence, FirstRunListsOtherComputersAndRedrawsARowOnlyWhenItsTextsChange) {
    UncShares shares;
    ASSERT_TRUE(shares.Make());
    const std::string own = OwnAddress();
    ASSERT_EQ(own, "127.0.0.1") << "the rig's own address";
    const char* pc7 = "127.0.0.2";
    const char* pc8 = "127.0.0.3";

    // This computer's own datagram goes first, so when the others are heard
    // it has had its chance.
    ASSERT_TRUE(RunPeersim(Round({Announce(own, "ME", "me", "Mine", "D:\\Music\\Pop\\a.mp3"),
                                  Announce(pc7, "PC7", "ann", "Song one", "D:\\Music\\Pop\\a.mp3"),
                                  Announce(pc8, "PC8", "bob", "Other", "D:\\Music\\b.mp3")})));
    ASSERT_TRUE(watch->WaitHeard(pc8, 1));
    EXPECT_EQ(watch->Heard(own), 0) << "this computer listed itself";
    EXPECT_EQ(watch->Row(own), -1);
    ASSERT_EQ(watch->Rows(), 2);
    ASSERT_GE(watch->Row(pc7), 0);
    ASSERT_TRUE(PumpUntil([&] { return watch->Texts(pc7).back() == "Yes"; }, 10000));
    EXPECT_EQ(watch->Texts(pc7), (std::vector<std::string>{"PC7", "ann", "Song one", "Yes"}));
    EXPECT_EQ(watch->Texts(pc8), (std::vector<std::string>{"PC8", "bob", "Other", "No"}));
    EXPECT_EQ(watch->Row(pc7), 0) << "rows are appended in the order heard";
    EXPECT_EQ(watch->Record(pc7)->port, 5146);
    ASSERT_TRUE(PumpUntil([&] { return watch->Paints(pc7) > 0; }, 10000)) << "never painted";
    watch->Settle();
    const int painted = watch->Paints(pc7);

    // The same texts again: the row is refreshed but not redrawn.
    const uint32_t heardAt = watch->Record(pc7)->lastHeard;
    PumpFor(50); // so that a refreshed tick count differs
    ASSERT_TRUE(
        RunPeersim(Round({Announce(pc7, "PC7", "ann", "Song one", "D:\\Music\\Pop\\a.mp3")})));
    ASSERT_TRUE(watch->WaitHeard(pc7, 2));
    watch->Settle();
    EXPECT_EQ(watch->Paints(pc7), painted) << "an unchanged announcement redrew the row";
    EXPECT_NE(watch->Record(pc7)->lastHeard, heardAt) << "the row was not refreshed";
    EXPECT_EQ(watch->Rows(), 2);

    // A new title from the same address rewrites that row and redraws it.
    ASSERT_TRUE(
        RunPeersim(Round({Announce(pc7, "PC7", "ann", "Song two", "D:\\Music\\Pop\\a.mp3")})));
    ASSERT_TRUE(watch->WaitHeard(pc7, 3));
    EXPECT_EQ(watch->Rows(), 2);
    EXPECT_EQ(watch->Texts(pc7), (std::vector<std::string>{"PC7", "ann", "Song two", "Yes"}));
    EXPECT_TRUE(PumpUntil([&] { return watch->Paints(pc7) > painted; }, 10000))
        << "the changed row was not redrawn";

    // The player destroys the browser at exit: the rows' records are freed
    // while the list still exists, and the group's port is let go.
    EXPECT_FALSE(PortIsFree(5145)) << "the receiver does not hold the port";
    player.DestroyFrames();
    EXPECT_EQ(watch->rowsAtListDestroy, 0) << "rows outlived the browser";
    EXPECT_TRUE(PortIsFree(5145)) << "the receiver's socket outlived the browser";
    EXPECT_TRUE(shares.Remove());
}

TEST_F(BrowserPresence, SilentComputerGoesWhileAnAnnouncingOneStaysAndRefreshEmptiesTheList) {
    const char* keeps = "127.0.0.2";
    const char* silent = "127.0.0.3";
    ShellJob sim;
    ASSERT_TRUE(StartPeersim(sim, {"--interval", "500", "--count", "60", "--duration", "30000",
                                   "--peer", "--src", keeps, "--comp", "KEEPS", "--peer", "--src",
                                   silent, "--comp", "SILENT", "--stop", "1000"}));
    ASSERT_TRUE(PumpUntil([&] { return watch->Row(keeps) >= 0 && watch->Row(silent) >= 0; }, 15000))
        << sim.Output();

    uint32_t lastHeard = 0;
    const bool gone = PumpUntil(
        [&] {
            const PeerRecord* r = watch->Record(silent);
            if (r) lastHeard = r->lastHeard;
            return r == nullptr;
        },
        30000);
    const uint32_t goneAt = GetTickCount();
    ASSERT_TRUE(gone) << "the silent computer stayed listed";
    EXPECT_GE(goneAt - lastHeard, wire::kPresenceTimeoutMs) << "removed before 4 s of silence";
    EXPECT_TRUE(watch->overdue.empty()) << "kept past the first tick after 4 s of silence";

    // Two more age-out ticks while the other computer keeps announcing.
    const int ticks = watch->ticks;
    const int heard = watch->Heard(keeps);
    ASSERT_TRUE(
        PumpUntil([&] { return watch->ticks >= ticks + 2 || watch->Row(keeps) < 0; }, 15000));
    EXPECT_GT(watch->Heard(keeps), heard) << "the simulator stopped too early for this check";
    EXPECT_GE(watch->Row(keeps), 0) << "an announcing computer was removed";
    EXPECT_EQ(watch->Rows(), 1);
    EXPECT_TRUE(watch->overdue.empty());

    // Refresh empties the list; the computer comes back with its next packet.
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1011)));
    EXPECT_EQ(watch->Rows(), 0);
    const int before = watch->Heard(keeps);
    ASSERT_TRUE(watch->WaitHeard(keeps, before + 1));
    EXPECT_EQ(watch->Rows(), 1);
    EXPECT_EQ(watch->Texts(keeps).front(), "KEEPS");
    sim.RequestStop();
    EXPECT_TRUE(sim.Wait(15000));
}

struct BrowserPresenceOtherGroup : BrowserPresence {
    BrowserPresenceOtherGroup() {
        settingsContent = "[MAIN]\r\nBROADCAST_IP=239.1.2.3:6000\r\nCHANNEL=12\r\n";
    }
};

TEST_F(BrowserPresenceOtherGroup, OnlyTheConfiguredUserGroupIsHeard) {
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1009)), "[user group : 12]");
    auto send = [](const char* group, const char* port, const char* src) {
        return RunPeersim({"--group", group, "--port", port, "--count", "2", "--interval", "100",
                           "--peer", "--src", src, "--comp", src});
    };
    // Another user group on the same port, and the first run's group.
    ASSERT_TRUE(send("239.1.2.13", "6000", "127.0.0.3"));
    ASSERT_TRUE(send("225.5.5.100", "5145", "127.0.0.4"));
    ASSERT_TRUE(send("239.1.2.12", "6000", "127.0.0.2"));
    ASSERT_TRUE(watch->WaitHeard("127.0.0.2", 2));
    EXPECT_EQ(watch->Heard("127.0.0.3"), 0) << "another user group was heard";
    EXPECT_EQ(watch->Heard("127.0.0.4"), 0) << "the default group was heard";
    EXPECT_EQ(watch->Rows(), 1);
    EXPECT_EQ(watch->Texts("127.0.0.2").front(), "127.0.0.2");
}

// The plug-in's network names as it opens them; \\127.0.0.2\slow\... takes 5 s and
// then opens (this program's own file), as a slow share would.
namespace opens {
Redirection table[] = {{"CreateFileA", nullptr, nullptr}};
Lock lock;
std::vector<std::string> names;
HANDLE WINAPI Open(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE model) {
    const auto original = reinterpret_cast<decltype(&CreateFileA)>(table[0].original);
    std::string path = name ? name : "";
    if (path.rfind("\\\\", 0) == 0) {
        Guard held(lock);
        names.push_back(path);
    }
    if (path.rfind("\\\\127.0.0.2\\slow\\", 0) != 0)
        return original(name, access, share, security, disposition, flags, model);
    Sleep(5000);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return original(self, access, share, security, disposition, flags, model);
}
} // namespace opens

TEST_F(BrowserPresence, ASlowShareNeverHoldsUpTheBrowserAndOnlyTheAnnouncerIsOpened) {
    opens::table[0].replacement = reinterpret_cast<void*>(&opens::Open);
    ASSERT_GT(RedirectImports("kernel32.dll", opens::table, 1, GetModuleHandleA(nullptr)), 0u);
    // A record message that the receiver did not post is never taken.
    PeerRecord foreign;
    std::strcpy(foreign.address, "127.0.0.9");
    SendMessageA(dialog, WM_PEER_ANNOUNCED, 0, reinterpret_cast<LPARAM>(&foreign));
    EXPECT_EQ(watch->Rows(), 0);

    // Another thread asks the browser for an answer every 50 ms meanwhile.
    std::atomic<bool> probing{true};
    std::atomic<int> unanswered{0};
    std::thread asker([&] {
        for (int i = 0; probing && i < 600; ++i, Sleep(50)) {
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 1500, &result))
                ++unanswered;
        }
    });
    // No assertion may end the test before the asker is joined.
    EXPECT_TRUE(RunPeersim(Round({Announce("127.0.0.3", "PC7", "a", "t", "\\\\EVIL\\share\\a.mp3"),
                                  Announce("127.0.0.4", "PC7", "b", "t", "\\\\PC7\\pipe\\x"),
                                  Announce("127.0.0.2", "PC7", "c", "t", "D:\\slow\\a.mp3")})));
    EXPECT_TRUE(watch->WaitHeard("127.0.0.2", 1));
    EXPECT_EQ(watch->Texts("127.0.0.2").back(), "No") << "while the probe runs";
    EXPECT_TRUE(PumpUntil([&] { return watch->Texts("127.0.0.2").back() == "Yes"; }, 15000));
    probing = false;
    asker.join();
    RestoreImports("kernel32.dll", opens::table, 1, GetModuleHandleA(nullptr));
    EXPECT_EQ(unanswered, 0) << "the browser stopped answering for 1.5 s";
    EXPECT_EQ(watch->Texts("127.0.0.3").back(), "No");
    EXPECT_EQ(watch->Texts("127.0.0.4").back(), "No");
    // PC7's name does not resolve to 127.0.0.2 here: its address is the server.
    EXPECT_EQ(opens::names, std::vector<std::string>{"\\\\127.0.0.2\\slow\\a.mp3"});
}

} // namespace

// Another thread's sent message is answered only when the browser's thread
// gets back to its message loop: the longest round trip is how long the
// browser was deaf.
struct DeafnessProbe {
    HWND window;
    std::atomic<bool> stop{false};
    std::atomic<DWORD> worst{0}, probes{0};
    std::thread thread{[this] {
        while (!stop) {
            const DWORD t0 = GetTickCount();
            DWORD_PTR answer = 0;
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer);
            const DWORD took = GetTickCount() - t0;
            if (took > worst) worst = took;
            ++probes;
            Sleep(20);
        }
    }};
    explicit DeafnessProbe(HWND w) : window(w) {}
    ~DeafnessProbe() {
        stop = true;
        thread.join();
    }
};

TEST_F(BrowserPresence, TenThousandAnnouncementsASecondLeaveTheBrowserAnsweringAndItsRowsRight) {
    std::vector<std::string> args = {"--group", "225.5.5.100", "--port", "5145",       "--interval",
                                     "1",       "--count",     "10000",  "--duration", "11000"};
    for (int i = 0; i < 10; ++i) {
        const std::string n = std::to_string(i);
        const auto p = Announce("127.0.0." + std::to_string(2 + i), "PC" + n, "user" + n,
                                "Song " + n, "D:\\x.mp3");
        args.insert(args.end(), p.begin(), p.end());
    }
    // A real computer announcing once a second, from before the flood to after it.
    const std::string real = "127.0.0.20";
    ShellJob realJob;
    ASSERT_TRUE(StartPeersim(realJob, {"--interval", "1000", "--count", "14", "--duration", "14000",
                                       "--peer", "--src", real, "--comp", "REAL"}));
    ASSERT_TRUE(watch->WaitHeard(real, 1));
    ShellJob job;
    ASSERT_TRUE(StartPeersim(job, args));
    const int realBefore = watch->Heard(real);
    const DWORD floodStart = GetTickCount();
    DWORD worst = 0, probes = 0;
    bool realListed = true;
    {
        DeafnessProbe probe(dialog);
        ASSERT_TRUE(PumpUntil(
            [&] {
                realListed = realListed && watch->Row(real) >= 0;
                return job.Done();
            },
            30000))
            << "the simulator did not end";
        worst = probe.worst;
        probes = probe.probes;
    }
    const DWORD floodMs = GetTickCount() - floodStart;
    int heard = 0;
    for (int i = 0; i < 10; ++i)
        heard += watch->Heard("127.0.0." + std::to_string(2 + i));
    std::printf("100000 announcements in 10 s: %d read by the browser (%.1f %%); the real "
                "computer's read: %d in %lu ms; %lu probes answered, the longest after %lu ms\n",
                heard, heard / 1000.0, watch->Heard(real) - realBefore, floodMs, probes, worst);
    EXPECT_TRUE(realListed) << "the real computer went missing during the flood";
    EXPECT_LT(worst, 1000u);
    EXPECT_GT(heard, 100);
    EXPECT_NE(job.Output().find("sent 100000 datagrams"), std::string::npos);
    EXPECT_TRUE(realJob.Wait(15000));
    ASSERT_EQ(watch->Rows(), 11);
    for (int i = 0; i < 10; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(watch->Texts("127.0.0." + std::to_string(2 + i)),
                  (std::vector<std::string>{"PC" + n, "user" + n, "Song " + n, "No"}));
    }
}

// Sixteen rounds: four times the age-out, each computer's row renewed by
// every round and never dropped between two.
TEST_F(BrowserPresence, TwoHundredFiftyComputersAnnouncingEverySecondStayListedThroughFourAgeOuts) {
    constexpr int kComputers = 250;
    std::vector<std::string> args = {"--group", "225.5.5.100", "--port", "5145",       "--interval",
                                     "1000",    "--count",     "17",     "--duration", "17000"};
    for (int i = 0; i < kComputers; ++i) {
        const std::string n = std::to_string(i);
        args.insert(args.end(), {"--peer", "--src", "127.0.0." + std::to_string(2 + i), "--comp",
                                 "PC" + n, "--user", "u" + n, "--title", "T" + n});
    }
    FILETIME created, ended, kernel0, user0, kernel1, user1;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel0, &user0);
    ShellJob job;
    ASSERT_TRUE(StartPeersim(job, args));
    DWORD worst = 0;
    int fewest = kComputers, listedAt = -1;
    const DWORD start = GetTickCount();
    {
        DeafnessProbe probe(dialog);
        // Every computer is listed within the first round or two, and from
        // then on none may be missing until the simulator's last round.
        PumpUntil(
            [&] {
                const int rows = watch->Rows();
                if (listedAt < 0 && rows == kComputers) listedAt = GetTickCount() - start;
                if (listedAt >= 0) fewest = std::min(fewest, rows);
                return job.Done();
            },
            40000);
        worst = probe.worst;
    }
    const bool ran = job.Wait(40000);
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel1, &user1);
    auto ms = [](FILETIME a, FILETIME b) {
        return ((ULARGE_INTEGER{{b.dwLowDateTime, b.dwHighDateTime}}.QuadPart -
                 ULARGE_INTEGER{{a.dwLowDateTime, a.dwHighDateTime}}.QuadPart) /
                10000);
    };
    int heard = 0;
    for (const auto& [address, times] : watch->heard)
        heard += times;
    std::printf(
        "250 computers for 16 s: all listed after %d ms, rows at their fewest %d, at the end %d, "
        "%d announcements taken, %d socket notices (%d with an error), longest wait %lu ms, "
        "the player's CPU time %llu ms user + %llu ms kernel\n",
        listedAt, fewest, watch->Rows(), heard, watch->notices, watch->noticeErrors, worst,
        ms(user0, user1), ms(kernel0, kernel1));
    ASSERT_TRUE(ran) << "the simulator did not end";
    EXPECT_EQ(job.Status(), 0) << job.Output();
    ASSERT_GE(listedAt, 0) << "never listed all 250; " << watch->Rows() << " rows";
    EXPECT_EQ(fewest, kComputers) << "a computer went missing while all announced";
    EXPECT_LT(worst, 1000u) << "the browser stopped answering";
}
