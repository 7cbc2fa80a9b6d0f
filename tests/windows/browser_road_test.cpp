// What the user does with a computer in the browser, end to end: gen_orvela.dll
// and in_orvela.dll hosted by the player emulator, simulated computers
// announcing themselves and their agents answering inside the test's network
// namespace. The answers' meaning, the menus' data and the row order are
// proven natively; these prove the clicks, the player and the sockets.
#include "browser/listview_win.h"
#include "scrollskin/redirect_win.h"
#include "scrollskin/scrollskin_win.h"
#include "tests/windows/browser_support.h"
#include "tests/windows/presence_harness.h"

#include <iterator>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace browser_test;
using namespace presence_test;

using Args = std::vector<std::string>;

std::string Quoted(const Args& args) {
    std::string out;
    for (const std::string& a : args)
        out += " " + ShellQuote(a);
    return out;
}

Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One announced computer; `port` empty announces none.
Args Computer(const std::string& src, const std::string& comp, const std::string& port,
              const std::string& path = "", const std::string& user = "u",
              const std::string& title = "t") {
    Args a = {"--peer", "--src", src, "--comp", comp, "--user", user, "--title", title};
    if (!path.empty()) a.insert(a.end(), {"--path", path});
    if (!port.empty()) a.insert(a.end(), {"--req-port", port});
    return a;
}

// An agent on src:port; its log is agent-<port>.log in the job's folder.
Args Agent(const std::string& src, const std::string& port, const Args& more = {}) {
    Args a = {"--bind", src, "--port", port, "--wait", "30000", "--log", "agent-" + port + ".log"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

// Counts the boxes shown while it lives, and closes each.
struct BoxCounter {
    static inline int count = 0;
    HHOOK hook = SetWindowsHookExA(WH_CBT, &Activated, nullptr, GetCurrentThreadId());
    ~BoxCounter() { UnhookWindowsHookEx(hook); }
    static LRESULT CALLBACK Activated(int code, WPARAM w, LPARAM l) {
        char name[8] = {};
        if (code == HCBT_ACTIVATE && GetClassNameA(reinterpret_cast<HWND>(w), name, 8) &&
            std::string(name) == "#32770") {
            ++count;
            PostMessageA(reinterpret_cast<HWND>(w), WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, w, l);
    }
};

struct BrowserRoad : PresenceTest {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};
    HWND dialog = nullptr;
    ListView rows{nullptr};
    ShellJob sims;
    const char* settingsContent = nullptr;

    void SetUp() override {
        PresenceTest::SetUp();
        if (IsSkipped()) return;
        ResetSettings(settingsContent);
        ASSERT_NE(player.LoadInputPlugin("in_orvela.dll"), nullptr);
        ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
        SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);
        const auto dialogs = DialogChildren(player.Frame());
        ASSERT_EQ(dialogs.size(), 1u);
        dialog = dialogs.front();
        rows = ListView(GetDlgItem(dialog, 1007));
    }
    void TearDown() override {
        player.StopPlayback();
        player.QuitGeneralPlugin();
        player.DestroyFrames();
        sims.RequestStop();
        EXPECT_TRUE(sims.Wait(15000)) << "the simulators did not end";
        RemoveSettings();
        PresenceTest::TearDown();
    }

    // The computers announce themselves every 500 ms on the first run's group
    // and their agents answer, until the test ends them (or 30 s pass).
    void Start(const Args& computers, const std::vector<Args>& agents,
               const std::string& group = "225.5.5.100", ShellJob* job = nullptr) {
        std::string body = ShellQuote(kPeersim) + " presence --group " + group +
                           " --port 5145 --interval 500 --count 60 --duration 30000" +
                           Quoted(computers) + " &\npids=$!\n";
        for (const Args& a : agents)
            body += ShellQuote(kPeersim) + " stream" + Quoted(a) + " &\npids=\"$pids $!\"\n";
        // The watcher ends with the simulators, which bound themselves.
        body += "(while :; do a=; for p in $pids; do kill -0 $p && a=1; done; [ -z \"$a\" ] && "
                "exit; [ -e stop ] && kill $pids; sleep 0.1; done) >/dev/null 2>&1 &\nwait $pids\n";
        ShellJob& started = job ? *job : sims;
        ASSERT_TRUE(started.Start(body));
        // A request sent before an agent has bound its port would go
        // unanswered: each says when it listens.
        for (const Args& a : agents) {
            const std::string log = started.WindowsDir() + "\\agent-" + a.at(3) + ".log";
            ASSERT_TRUE(PumpUntil(
                [&] { return ReadWholeFile(log).find(" listening ") != std::string::npos; }, 15000))
                << started.Output();
        }
    }
    std::string AgentLog(const std::string& port) const {
        return ReadWholeFile(sims.WindowsDir() + "\\agent-" + port + ".log");
    }
    int Row(const std::string& address) const {
        for (int i = 0; i < rows.Count(); ++i)
            if (const PeerRecord* r = rows.Record(i); r && address == r->address) return i;
        return -1;
    }
    void WaitRows(int n) {
        ASSERT_TRUE(PumpUntil([&] { return rows.Count() >= n; }, 15000)) << sims.Output();
    }
    POINT RowPoint(int row) const {
        RECT r{};
        rows.RowBounds(row, r);
        return {r.left + 5, (r.top + r.bottom) / 2};
    }
    void DoubleClick(int row) {
        const POINT p = RowPoint(row);
        SendMessageA(rows.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    }
    // A right-click at `p` in `w`'s client coordinates. The release is queued
    // first: the list-view follows a pressed button until it sees one.
    static void RightClick(HWND w, POINT p) {
        POINT screen = p; // where the user's pointer is, and the menu opens
        ClientToScreen(w, &screen);
        SetCursorPos(screen.x, screen.y);
        PostMessageA(w, WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
        SendMessageA(w, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
        PumpFor(50);
    }
    std::vector<std::string> RowMenu(int row, unsigned pick) {
        MenuScript menu(pick);
        RightClick(rows.Handle(), RowPoint(row));
        std::vector<std::string> out;
        for (const auto& item : menu.items)
            out.push_back(item.text + (item.greyed ? " (greyed)" : ""));
        return out;
    }
    // "Get <name>'s playlist" on a row; the box it shows, if any, is read.
    Box Playlist(int row, DWORD waitMs = 3000) {
        Box box;
        ModalScript script({box.Answer()});
        RowMenu(row, 3);
        PumpUntil([&] { return script.done() > 0; }, waitMs);
        return box;
    }
    std::vector<std::string> Column(int subItem) const {
        std::vector<std::string> out;
        for (int i = 0; i < rows.Count(); ++i)
            out.push_back(CellText(rows.Handle(), i, subItem));
        return out;
    }
    // A header menu opened over header item `item` (or `dx` pixels right of it).
    void HeaderMenu(int item, unsigned pick, int dx = 0) {
        RECT r{};
        rows.HeaderItemRect(item, r);
        POINT p{dx ? r.right + dx : (r.left + r.right) / 2, (r.top + r.bottom) / 2};
        POINT screen = p;
        ClientToScreen(rows.Header(), &screen);
        SetCursorPos(screen.x, screen.y); // the menu sorts the column under the pointer
        MenuScript menu(pick);
        RightClick(rows.Header(), p);
        EXPECT_TRUE(menu.shown());
    }
    std::string LastEntry() const {
        return player.playlist.empty() ? "" : player.playlist.back().file;
    }
};

TEST_F(BrowserRoad, DoubleClickPlaysTheComputersSoundThroughTheStreamPlugInUntilStop) {
    Start(Computer("127.0.0.2", "JOHN-PC", "5160"),
          {Agent("127.0.0.2", "5160", {"--need-grant", "--duration", "20000"})});
    WaitRows(1);
    DoubleClick(0);
    const std::string location = "\\\\orvela::127.0.0.2:5160\\John-pc's computer audio stream";
    EXPECT_EQ(player.editorCommands, std::vector<int>{40222});
    ASSERT_EQ(LastEntry(), location);
    EXPECT_EQ(player.position, static_cast<int>(player.playlist.size()) - 1);
    ASSERT_EQ(player.played, std::vector<std::string>{location});
    ASSERT_TRUE(PumpUntil([&] { return player.Output().PcmBytes() > 44100; }, 10000))
        << AgentLog("5160");
    player.StopPlayback();
    ASSERT_TRUE(PumpUntil(
        [&] { return AgentLog("5160").find("CLOSE_STREAM") != std::string::npos; }, 5000));
    const std::string log = AgentLog("5160");
    EXPECT_LT(log.find("text=\"NEED_STREAM\""), log.find("text=\"OPEN_STREAM\"")) << log;
}

TEST_F(BrowserRoad, PermissionGoesToTheDefaultPortAndRefusalsOrSilenceAddNothing) {
    Start(Computer("127.0.0.3", "NOPORT", "") + Computer("127.0.0.4", "DENIES", "5164") +
              Computer("127.0.0.5", "SILENT", "5165"),
          {Agent("127.0.0.3", "5146"), Agent("127.0.0.4", "5164", {"--permission", "DENY"}),
           Agent("127.0.0.5", "5165", {"--permission-silent"})});
    WaitRows(3);
    DoubleClick(Row("127.0.0.3"));
    EXPECT_EQ(LastEntry(), "\\\\orvela::127.0.0.3:0\\Noport's computer audio stream");
    EXPECT_NE(AgentLog("5146").find("NEED_STREAM"), std::string::npos);
    player.StopPlayback();
    // Enter listens to the row with the selection mark; Ctrl+Enter does nothing.
    const size_t entries = player.playlist.size();
    LVITEMA chosen{};
    chosen.stateMask = chosen.state = LVIS_FOCUSED | LVIS_SELECTED; // as a click leaves it
    SendMessageA(rows.Handle(), LVM_SETITEMSTATE, Row("127.0.0.3"),
                 reinterpret_cast<LPARAM>(&chosen));
    SendMessageA(rows.Handle(), LVM_SETSELECTIONMARK, 0, Row("127.0.0.3"));
    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageA(rows.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(player.playlist.size(), entries) << "Ctrl+Enter listened";
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    SendMessageA(rows.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(player.playlist.size(), entries + 1) << "Enter did not listen";
    player.StopPlayback();

    for (const auto& [address, caption, text] :
         {std::tuple{"127.0.0.4", "Result on play", "Denies doesn't permit sound transmission!"},
          std::tuple{"127.0.0.5", "Error", "Error on getting permission. Error = 10060"}}) {
        Box box;
        ModalScript script({box.Answer()});
        DoubleClick(Row(address));
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.text, text);
    }
    EXPECT_EQ(player.playlist.size(), entries + 1) << "a refusal added an entry";
    EXPECT_EQ(player.editorCommands.size(), 2u);
}

TEST_F(BrowserRoad, RowMenuPlaysTheSharedFileAndImportsTheReachableEntriesOfAPlaylist) {
    UncShares shares;
    ASSERT_TRUE(shares.Make());
    // The test's own socket plays a slow agent, SLOW, whose answer comes late.
    SOCKET slow = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.8");
    at.sin_port = htons(5178);
    u_long nonBlocking = 1;
    ioctlsocket(slow, FIONBIO, &nonBlocking);
    ASSERT_EQ(bind(slow, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    const std::string shared = "D:\\Music\\Pop\\a.mp3";
    Start(Computer("127.0.0.2", "PC7", "5170", shared) +
              Computer("127.0.0.3", "JOHN-PC", "5171", shared) +
              Computer("127.0.0.4", "ERR", "5172") + Computer("127.0.0.5", "ZERO", "5173") +
              Computer("127.0.0.6", "FAR", "5174") + Computer("127.0.0.7", "BIG", "5175") +
              Computer("127.0.0.8", "SLOW", "5178"),
          {Agent("127.0.0.2", "5170",
                 {"--playlist", shared, "--playlist", "D:\\elsewhere\\x.mp3", "--playlist",
                  "\\\\PC7\\solo.mp3"}),
           Agent("127.0.0.3", "5171", {"--playlist-answer", "DENY"}),
           Agent("127.0.0.4", "5172", {"--playlist-answer", "PLAYLIST_ERROR"}),
           Agent("127.0.0.5", "5173", {"--playlist", "\\\\PC7\\solo.mp3", "--playlist-count", "0"}),
           Agent("127.0.0.6", "5174", {"--playlist", "D:\\elsewhere\\x.mp3"}),
           Agent("127.0.0.7", "5175",
                 {"--playlist", "\\\\PC7\\solo.mp3", "--playlist-pad", "6000"})});
    WaitRows(7);

    // An unreachable share greys the file entries; the name is shown as John-pc.
    EXPECT_EQ(RowMenu(Row("127.0.0.3"), 0),
              (std::vector<std::string>{"Play the file (greyed)", "Open shared directory (greyed)",
                                        "Get John-pc's playlist"}));
    // "Play the file" appends the file under the name that opened and plays it.
    ASSERT_TRUE(
        PumpUntil([&] { return CellText(rows.Handle(), Row("127.0.0.2"), 3) == "Yes"; }, 10000));
    EXPECT_EQ(RowMenu(Row("127.0.0.2"), 1).size(), 3u);
    ASSERT_TRUE(PumpUntil([&] { return !LastEntry().empty(); }, 10000));
    // By PC7's address: its name does not resolve to it here.
    EXPECT_EQ(LastEntry(), "\\\\127.0.0.2\\Music\\Pop\\a.mp3");
    EXPECT_EQ(player.position, static_cast<int>(player.playlist.size()) - 1);
    EXPECT_EQ(player.CountReceived(WM_COMMAND, 40045), 1u);
    // A right-click beside the marked row shows no menu.
    RECT bounds{};
    rows.RowBounds(Row("127.0.0.2"), bounds);
    MenuScript none(0);
    RightClick(rows.Handle(), {bounds.right + 5, (bounds.top + bounds.bottom) / 2});
    EXPECT_FALSE(none.shown());

    // Answers that add nothing, each with its box.
    const size_t entries = player.playlist.size();
    for (const auto& [address, port, text] :
         {std::tuple{"127.0.0.3", "5171", "John-pc doesn't permit playlist tramsmission"},
          {"127.0.0.4", "5172", "Error on getting play list.\nMay be winamp on err is not started"},
          {"127.0.0.5", "5173", "Zero' playlist does'n have shared items"},
          {"127.0.0.6", "5174", "Far' playlist does'n have shared items"},
          {"127.0.0.7", "5175", "Failed. Error = 10040"}}) {
        const Box box = Playlist(Row(address));
        EXPECT_EQ(box.caption, "'Get playlist' result") << AgentLog(port);
        EXPECT_EQ(box.text, text);
    }
    EXPECT_EQ(player.playlist.size(), entries);

    // SLOW is asked first; PC7's list is imported; SLOW's late answer is never seen.
    Playlist(Row("127.0.0.8"), 0);
    char got[64] = {};
    sockaddr_in from{};
    int fromLength = sizeof from;
    const auto asked = [&] {
        return recvfrom(slow, got, sizeof got, 0, reinterpret_cast<sockaddr*>(&from), &fromLength) >
               0;
    };
    ASSERT_TRUE(PumpUntil(asked, 5000));
    EXPECT_STREQ(got, "GET_PLAYLIST");
    EXPECT_EQ(Playlist(Row("127.0.0.2"), 1500).text, "") << "importing showed a box";
    EXPECT_EQ(player.editorCommands.back(), 40214);
    ASSERT_EQ(player.playlist.size(), entries + 2);
    EXPECT_EQ(player.playlist[entries].file, "\\\\PC7\\Music\\Pop\\a.mp3");
    EXPECT_EQ(player.playlist[entries + 1].file, "\\\\PC7\\solo.mp3");
    sendto(slow, "DENY", 4, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    Box late;
    ModalScript script({late.Answer()});
    PumpFor(1000);
    EXPECT_EQ(late.text, "") << "the abandoned request's answer was seen";
    // One answer per request: a peer's further datagrams show nothing.
    {
        BoxCounter boxes;
        RowMenu(Row("127.0.0.8"), 3);
        ASSERT_TRUE(PumpUntil(asked, 5000));
        for (int i = 0; i < 20; ++i)
            sendto(slow, "DENY", 4, 0, reinterpret_cast<sockaddr*>(&from), fromLength);
        PumpFor(1500);
        EXPECT_EQ(boxes.count, 1);
    }
    closesocket(slow);
    EXPECT_TRUE(shares.Remove());
}

TEST_F(BrowserRoad, HeaderMenuSortsByEachColumnAndTheDirectionIsSaved) {
    UncShares shares;
    ASSERT_TRUE(shares.Make());
    Start(Computer("127.0.0.2", "PC7", "", "D:\\Music\\Pop\\a.mp3", "carl", "Zed") +
              Computer("127.0.0.3", "alpha", "", "", "Anna", "yak") +
              Computer("127.0.0.4", "Beta", "", "", "bob", "Xu"),
          {});
    WaitRows(3);
    ASSERT_TRUE(PumpUntil([&] { return rows.Record(Row("127.0.0.2"))->sharedReachable; }, 10000));
    using Texts = std::vector<std::string>;
    HeaderMenu(0, 1); // by the user's locale, not by byte values
    EXPECT_EQ(Column(0), (Texts{"alpha", "Beta", "PC7"}));
    HeaderMenu(0, 2);
    EXPECT_EQ(Column(0), (Texts{"PC7", "Beta", "alpha"}));
    HeaderMenu(1, 1);
    EXPECT_EQ(Column(1), (Texts{"Anna", "bob", "carl"}));
    HeaderMenu(2, 2);
    EXPECT_EQ(Column(2), (Texts{"Zed", "yak", "Xu"}));
    HeaderMenu(3, 1);
    EXPECT_EQ(Column(3), (Texts{"No", "No", "Yes"}));
    HeaderMenu(3, 2);
    EXPECT_EQ(Column(3).front(), "Yes");
    const Texts before = Column(0);
    HeaderMenu(3, 1, 20); // right of the last item: nothing is sorted
    EXPECT_EQ(Column(0), before);

    player.DestroyFrames(); // the settings are saved
    for (const auto& [key, mark] : {std::pair{"COL_COMP_NAME", "2"},
                                    {"COL_USER_NAME", "1"},
                                    {"COL_TITLE", "2"},
                                    {"COL_SHARED", "2"}}) {
        const std::string value = Setting("COLUMNS", key); // visible|position|sortMark|width
        const size_t bar = value.find('|', value.find('|') + 1);
        EXPECT_EQ(value.substr(bar + 1, value.find('|', bar + 1) - bar - 1), mark) << value;
    }
    EXPECT_TRUE(shares.Remove());
}

TEST_F(BrowserRoad, UserGroupDialogMovesTheBrowserToAnotherGroup) {
    Start(Computer("127.0.0.2", "HUNDRED", ""), {});
    WaitRows(1);
    const auto change = [&](std::vector<ModalScript::Step> steps) {
        ModalScript script(std::move(steps));
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1012, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1012)));
        return script.done();
    };
    const auto enter = [](const char* text, int button) {
        return [=](HWND d) {
            SetDlgItemTextA(d, 1012, text);
            SendMessageA(d, WM_COMMAND, button, 0);
        };
    };
    const auto label = [&] { return WindowText(GetDlgItem(dialog, 1009)); };
    std::string shown;
    EXPECT_EQ(
        change({[&](HWND d) { shown = WindowText(GetDlgItem(d, 1012)); }, enter("5", IDCANCEL)}),
        2u);
    EXPECT_EQ(shown, "100");
    EXPECT_EQ(label(), "[user group : 100]");
    EXPECT_EQ(rows.Count(), 1) << "Cancel changed the list";

    bool stayedOpen = false;
    change({enter("999", IDOK), [&](HWND d) { stayedOpen = IsWindow(d); }, enter("7", IDOK)});
    EXPECT_TRUE(stayedOpen) << "999 was accepted";
    EXPECT_EQ(label(), "[user group : 7]");
    EXPECT_EQ(rows.Count(), 0);
    ShellJob seven;
    Start(Computer("127.0.0.9", "SEVEN", ""), {}, "225.5.5.7", &seven);
    ASSERT_TRUE(PumpUntil([&] { return Row("127.0.0.9") >= 0; }, 15000)) << seven.Output();
    PumpFor(1500); // group 100 goes on announcing, unheard
    EXPECT_EQ(Row("127.0.0.2"), -1);
    EXPECT_EQ(rows.Count(), 1);

    change({enter("", IDOK)});
    EXPECT_EQ(label(), "[user group : 0]");
    EXPECT_EQ(rows.Count(), 0);
    seven.RequestStop();
    EXPECT_TRUE(seven.Wait(15000));
}

// Counts the GDI objects that the plug-in's own code makes and deletes.
namespace gdi {
std::set<HGDIOBJ> live;
int made = 0, bitmaps = 0;
HMODULE plugin = nullptr;
enum { kDc, kBitmap, kBrush, kPen, kDeleteObject, kDeleteDc };
Redirection table[6];
template <class F> F Original(int slot) {
    return reinterpret_cast<F>(table[slot].original);
}
bool FromPlugin(void* caller) {
    HMODULE m = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(caller), &m);
    return m && m == plugin;
}
template <class H> H Made(H h, void* caller) {
    if (h && FromPlugin(caller)) {
        live.insert(h);
        ++made;
    }
    return h;
}
HDC WINAPI Dc(HDC d) {
    return Made(Original<HDC(WINAPI*)(HDC)>(kDc)(d), __builtin_return_address(0));
}
HBITMAP WINAPI Bitmap(HDC d, int w, int h) {
    bitmaps += FromPlugin(__builtin_return_address(0));
    return Made(Original<HBITMAP(WINAPI*)(HDC, int, int)>(kBitmap)(d, w, h),
                __builtin_return_address(0));
}
HBRUSH WINAPI Brush(COLORREF c) {
    return Made(Original<HBRUSH(WINAPI*)(COLORREF)>(kBrush)(c), __builtin_return_address(0));
}
HPEN WINAPI Pen(int s, int w, COLORREF c) {
    return Made(Original<HPEN(WINAPI*)(int, int, COLORREF)>(kPen)(s, w, c),
                __builtin_return_address(0));
}
BOOL WINAPI DeleteObj(HGDIOBJ o) {
    live.erase(o);
    return Original<BOOL(WINAPI*)(HGDIOBJ)>(kDeleteObject)(o);
}
BOOL WINAPI DeleteDc(HDC d) {
    live.erase(d);
    return Original<BOOL(WINAPI*)(HDC)>(kDeleteDc)(d);
}
const bool filled = [] {
    const std::pair<const char*, void*> entries[] = {
        {"CreateCompatibleDC", reinterpret_cast<void*>(&Dc)},
        {"CreateCompatibleBitmap", reinterpret_cast<void*>(&Bitmap)},
        {"CreateSolidBrush", reinterpret_cast<void*>(&Brush)},
        {"CreatePen", reinterpret_cast<void*>(&Pen)},
        {"DeleteObject", reinterpret_cast<void*>(&DeleteObj)},
        {"DeleteDC", reinterpret_cast<void*>(&DeleteDc)}};
    for (int i = 0; i < 6; ++i)
        table[i] = {entries[i].first, entries[i].second, nullptr};
    return true;
}();
} // namespace gdi

// A Title column wider than the list, so that both skinned bars show.
struct BrowserPaint : BrowserRoad {
    BrowserPaint() { settingsContent = "[COLUMNS]\r\nCOL_TITLE=1|3|0|600\r\n"; }
};

TEST_F(BrowserPaint, ListHeaderAndBarsArePaintedFromTheSkinWithoutLeakingGdiObjects) {
    Args computers;
    for (int i = 0; i < 30; ++i)
        computers =
            computers + Computer("127.0.0." + std::to_string(10 + i), "PC" + std::to_string(i), "");
    Start(computers, {});
    WaitRows(30);
    Box box; // no agent answers at 5146: the activation ends in an error box
    {
        ModalScript script({box.Answer()});
        DoubleClick(0);
    }
    LVITEMA selected{};
    selected.stateMask = selected.state = LVIS_SELECTED;
    SendMessageA(rows.Handle(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&selected));
    const auto repaint = [&] {
        RedrawWindow(rows.Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    };
    repaint();

    const SkinSpec& skin = player.skin;
    RECT cell{LVIR_LABEL, 1, 0, 0}, frame{};
    SendMessageA(rows.Handle(), LVM_GETSUBITEMRECT, 2, reinterpret_cast<LPARAM>(&cell));
    rows.RowBounds(0, frame);
    HDC dc = GetDC(rows.Handle());
    EXPECT_EQ(GetPixel(dc, cell.right - 2, (cell.top + cell.bottom) / 2), skin.colors[0]);
    const int rowHeight = cell.bottom - cell.top;
    EXPECT_EQ(GetPixel(dc, cell.right - 2, (cell.top + cell.bottom) / 2 - rowHeight),
              skin.colors[19])
        << "the selected row";
    EXPECT_EQ(GetPixel(dc, frame.left, frame.top + 2), skin.colors[1]) << "the activated frame";
    ReleaseDC(rows.Handle(), dc);
    RECT item{};
    rows.HeaderItemRect(0, item);
    dc = GetDC(rows.Header());
    EXPECT_EQ(GetPixel(dc, item.left + 2, item.top + 2), skin.colors[7]);
    ReleaseDC(rows.Header(), dc);

    // The bars, in the list's window coordinates: both 14 across.
    const auto* layer =
        static_cast<const ScrollSkinWindow*>(GetPropA(rows.Handle(), ScrollSkinProperty));
    ASSERT_TRUE(layer && layer->bars[0].shown && layer->bars[1].shown);
    RECT window{};
    GetWindowRect(rows.Handle(), &window);
    const int right = window.right - window.left - layer->borders[1];
    const int bottom = window.bottom - window.top - layer->borders[3];
    const int top = layer->borders[2], barLeft = right - 14;
    const HBITMAP source = PlayerEmulator::CreateSkinBitmap(skin);
    HDC skinDc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(skinDc, source);
    dc = GetWindowDC(rows.Handle());
    for (const auto& [x, y, sx, sy] : {std::tuple{0, 0, 0, 31}, {7, 7, 7, 38}, {13, 4, 13, 35}})
        EXPECT_EQ(GetPixel(dc, barLeft + x, top + y), GetPixel(skinDc, sx, sy)) << "up arrow";
    EXPECT_EQ(GetPixel(dc, barLeft + 1, top + 14 + 1), GetPixel(skinDc, 57, 32)) << "thumb";
    const COLORREF track = RGB((GetRValue(skin.colors[13]) + GetRValue(skin.colors[14])) / 2,
                               (GetGValue(skin.colors[13]) + GetGValue(skin.colors[14])) / 2,
                               (GetBValue(skin.colors[13]) + GetBValue(skin.colors[14])) / 2);
    EXPECT_EQ(GetPixel(dc, barLeft + 7, bottom - 14 - 14 - 3), track) << "track";
    EXPECT_EQ(GetPixel(dc, barLeft + 7, bottom - 7), skin.colors[17]) << "corner";
    ReleaseDC(rows.Handle(), dc);
    SelectObject(skinDc, old);
    DeleteDC(skinDc);
    DeleteObject(source);

    // Every GDI object the plug-in makes while painting is deleted again.
    ASSERT_GT(RedirectImports("gdi32.dll", gdi::table, std::size(gdi::table), nullptr), 0u);
    gdi::plugin = GetModuleHandleA("gen_orvela.dll");
    for (int i = 0; i < 1000; ++i)
        repaint();
    RestoreImports("gdi32.dll", gdi::table, std::size(gdi::table), nullptr);
    EXPECT_GT(gdi::made, 1000) << "the plug-in's painting was not watched";
    EXPECT_TRUE(gdi::live.empty()) << gdi::live.size() << " objects outlived their paint";
    EXPECT_LE(gdi::bitmaps, 1000) << "one off-screen bitmap per paint, not one per cell";

    // After the plug-in's quit the list's own calls reach the platform again.
    player.QuitGeneralPlugin();
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE;
    info.nMax = 5000;
    SetScrollInfo(rows.Handle(), SB_VERT, &info, FALSE);
    EXPECT_NE(layer->bars[1].scrollInfo.max, 5000);
}

} // namespace
