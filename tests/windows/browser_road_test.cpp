// What the user does with a computer in the browser, end to end: gen_orvela.dll
// and in_orvela.dll hosted by the player emulator, simulated computers
// announcing themselves and their agents answering inside the test's network
// namespace. The answers' meaning, the menus' data and the row order are
// proven natively; these prove the clicks, the player and the sockets.
#include "tests/windows/browser_support.h"
#include "tests/windows/presence_harness.h"
#include "ui/listview_win.h"

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

struct BrowserRoad : PresenceTest {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};
    HWND dialog = nullptr;
    ListView rows{nullptr};
    ShellJob sims;

    void SetUp() override {
        PresenceTest::SetUp();
        if (IsSkipped()) return;
        ResetSettings();
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
        ASSERT_TRUE((job ? *job : sims).Start(body));
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
    EXPECT_EQ(RowMenu(Row("127.0.0.2"), 1).size(), 3u);
    EXPECT_EQ(LastEntry(), "\\\\PC7\\Music\\Pop\\a.mp3");
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
    ASSERT_TRUE(PumpUntil(
        [&] {
            return recvfrom(slow, got, sizeof got, 0, reinterpret_cast<sockaddr*>(&from),
                            &fromLength) > 0;
        },
        5000));
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

} // namespace
