// The agent program with the real plug-ins, nothing simulated between them:
// the player emulator hosts gen_orvela.dll and in_orvela.dll, orvela_agent.exe
// runs beside it on 127.0.0.3 with a WAV file as its sound. Its rules are
// proven natively; these prove the processes, sockets, windows and sound.
#include <algorithm>
#include <string_view>

#include "agent/agent_settings.h"
#include "agent/tray_menu.h"
#include "base/owners_win.h"
#include "browser/listview_win.h"
#include "codec/ima_encoder.h"
#include "peers/requests.h"
#include "tests/windows/browser_support.h"
#include "tests/windows/presence_harness.h"
#include "tests/windows/process.h"

#include <shellapi.h>
#include <shlobj.h>
#include <wtsapi32.h>

namespace {

using namespace browser_test;
using namespace presence_test;

// orvela_agent.exe on 127.0.0.3 in the tests' folder (its settings file's
// too, the installer's defaults), its sound agent-road.wav unless told
// otherwise; ended by WM_CLOSE. The user's own settings live in agent-user,
// which each test starts without.
struct AgentProcess {
    UniqueHandle process;
    DWORD id = 0;
    ~AgentProcess() { Stop(); }
    bool Start(bool wav = true) {
        std::string command = "orvela_agent.exe --bind 127.0.0.3 --multicast-if 127.0.0.3 "
                              "--exit-after 90000" +
                              std::string(wav ? " --wav agent-road.wav" : "");
        if (!StartProcess(command, &process, &id)) return false;
        // The caption is the icon's tip, set once the agent serves or stands by.
        const auto ready = [&] {
            const std::string c = Caption();
            return c.rfind("Orvela agent", 0) == 0 && c != "Orvela agent: starting";
        };
        return PumpUntil([&] { return ready() || Ended(); }, 15000) && !Ended();
    }
    HWND Window() const {
        HWND w = FindWindowA("OrvelaAgent", nullptr);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        return w && owner == id ? w : nullptr;
    }
    std::string Caption() const { return WindowText(Window()); }
    // The last notification's text, which the agent also keeps in a hidden child.
    std::string LastNotice() const {
        return WindowText(FindWindowExA(Window(), nullptr, "Static", nullptr));
    }
    bool Ended() const {
        return !process || WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
    }
    DWORD Stop() {
        DWORD code = STILL_ACTIVE;
        if (!process) return code;
        PostMessageA(Window(), WM_CLOSE, 0, 0);
        if (!PumpUntil([&] { return Ended(); }, 15000)) TerminateProcess(process.Get(), 99);
        GetExitCodeProcess(process.Get(), &code);
        process.Reset();
        return code;
    }
};

// A socket of the test on 127.0.0.<n>, talking to the agent's request port.
struct Udp {
    UniqueSocket s{socket(AF_INET, SOCK_DGRAM, 0)};
    sockaddr_in agent{};
    explicit Udp(const char* address) {
        agent.sin_family = AF_INET;
        agent.sin_addr.s_addr = inet_addr(address);
        bind(s.Get(), reinterpret_cast<sockaddr*>(&agent), sizeof agent);
        agent.sin_addr.s_addr = inet_addr("127.0.0.3");
        agent.sin_port = htons(5146);
        const DWORD ms = 300;
        setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    }
    void Send(std::string_view bytes) const {
        sendto(s.Get(), bytes.data(), static_cast<int>(bytes.size()), 0,
               reinterpret_cast<const sockaddr*>(&agent), sizeof agent);
    }
    // The next datagram, or with `control` the next one that is neither
    // audio nor "PING"; empty after 300 ms (or 3 s) without one.
    std::string Next(bool control = true) const {
        char buffer[8192];
        for (int i = 0, idle = 0; idle < (control ? 10 : 1) && i < 100; ++i) {
            const int n = recv(s.Get(), buffer, sizeof buffer, 0);
            const std::string d = n > 0 ? std::string(buffer, n) : std::string();
            idle += d.empty();
            if (!d.empty() && (!control || (d.size() < 30 && d != "PING"))) return d;
        }
        return "";
    }
    std::string Ask(std::string_view text) const {
        Send(text);
        return Next();
    }
};

struct AgentRoad : PresenceTest {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};
    ListView rows{nullptr};
    AgentProcess agent;
    std::vector<int16_t> sound; // agent-road.wav's stereo frames
    std::string computer, name, folder;

    std::string user; // the agent's local application data

    void SetUp() override {
        PresenceTest::SetUp();
        if (IsSkipped()) return;
        ResetSettings();
        char here[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, here);
        user = std::string(here) + "\\agent-user";
        ASSERT_TRUE(RunShell("rm -rf " + ShellQuote(UnixPathOf(user))));
        CreateDirectoryA(user.c_str(), nullptr);
        SetEnvironmentVariableA("LOCALAPPDATA", user.c_str()); // the agent inherits it
        // Anyone may listen, unless a test says otherwise.
        WriteFileBytes("orvela_agent.ini", "[MAIN]\r\nLISTENING=all\r\n");
        folder = UnixPathOf(here);
        ASSERT_TRUE(RunShell(ShellQuote(kPeersim) + " wav --out " +
                             ShellQuote(folder + "/agent-road.wav")));
        const std::string wav = ReadFileBytes("agent-road.wav");
        sound.assign(reinterpret_cast<const int16_t*>(wav.data() + 44),
                     reinterpret_cast<const int16_t*>(wav.data() + wav.size()));
        char text[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD n = sizeof text;
        GetComputerNameA(text, &n);
        computer = text;
        name = DisplayName(text);
        player.playlist = {{"C:\\Music\\agent-road.wav", "Miles Davis - So What"},
                           {"C:\\Private\\x.mp3", "Nina Simone - Sinnerman"}};
        ASSERT_NE(player.LoadInputPlugin("in_orvela.dll"), nullptr);
        ASSERT_NE(player.LoadGeneralPlugin("gen_orvela.dll"), nullptr);
        SendMessageA(player.MainWindow(), WM_COMMAND, MAKEWPARAM(1, 0), 0);
        rows = ListView(GetDlgItem(DialogChildren(player.Frame()).at(0), 1007));
    }
    void TearDown() override {
        agent.Stop();
        player.StopPlayback();
        player.QuitGeneralPlugin();
        player.DestroyFrames();
        DeleteFileA("agent-road.wav");
        DeleteFileA("orvela_agent.ini");
        RunShell("rm -rf " + ShellQuote(UnixPathOf(user)));
        RemoveSettings();
        PresenceTest::TearDown();
    }
    std::string UserFile() const { return agent::UserSettingsPath(user); }
    // The agent's row, once it shows `title` (any when empty), and a point on it.
    int Row(const std::string& title = "") {
        int row = -1;
        const auto shown = [&] {
            for (row = rows.Count() - 1; row >= 0; --row)
                if (const PeerRecord* r = rows.Record(row);
                    r && r->address == std::string("127.0.0.3") &&
                    (title.empty() || title == r->title))
                    return true;
            return false;
        };
        return PumpUntil(shown, 15000) ? row : -1;
    }
    LPARAM At(int row) const {
        RECT r{};
        rows.RowBounds(row, r);
        return MAKELPARAM(r.left + 5, r.top + 2);
    }
};

TEST_F(AgentRoad, BrowserListsTheAgentsComputerAndPlaysItsSoundUntilStop) {
    ASSERT_TRUE(agent.Start());
    const int row = Row("Miles Davis - So What");
    ASSERT_GE(row, 0) << "the agent's computer with the player's title";
    char user[257] = {};
    DWORD n = sizeof user;
    GetUserNameA(user, &n);
    EXPECT_EQ(RowTexts(rows.Handle(), row),
              (std::vector<std::string>{computer, user, "Miles Davis - So What", "No"}));

    SendMessageA(rows.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(row));
    ASSERT_EQ(player.played, std::vector<std::string>{"\\\\orvela::127.0.0.3:5146\\" + name +
                                                      "'s computer audio stream"});
    const size_t second = 44100 * 4;
    ASSERT_TRUE(PumpUntil([&] { return player.Output().PcmBytes() >= second; }, 10000));
    EXPECT_EQ(agent.Caption(), "Orvela agent: 1 computer listens");
    // The recording is the file after one IMA ADPCM round trip, from its start.
    const codec::AudioFormat& f = *codec::FindAudioFormat(1);
    codec::ImaEncoder encoder(f);
    std::vector<uint8_t> block(f.blockSize), expected(second + f.PcmBlockBytes());
    for (size_t b = 0; b * f.PcmBlockBytes() < second; ++b) {
        encoder.EncodeBlock(sound.data() + b * f.samplesPerBlock * 2, block.data());
        codec::DecodeImaBlocks(f, block.data(), block.size(),
                               expected.data() + b * f.PcmBlockBytes(), f.PcmBlockBytes());
    }
    const std::vector<uint8_t> recorded = player.Output().Pcm();
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + second, recorded.begin()));

    player.StopPlayback();
    EXPECT_TRUE(PumpUntil([&] { return agent.Caption() == "Orvela agent"; }, 3000));
}

TEST_F(AgentRoad, PlaylistOfTheAgentsPlayerImportsTheReachableEntries) {
    const std::string unc = "\"$WINEPREFIX/dosdevices/unc/" + computer + "\"";
    ASSERT_TRUE(
        RunShell("mkdir -p " + unc + " && ln -sfn " + ShellQuote(folder) + " " + unc + "/Music"));
    ASSERT_TRUE(agent.Start());
    const int row = Row();
    MenuScript menu(3);
    PostMessageA(rows.Handle(), WM_RBUTTONUP, 0, At(row));
    SendMessageA(rows.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, At(row));
    PumpUntil([&] { return player.playlist.size() > 2; }, 5000);
    ASSERT_EQ(player.playlist.size(), 3u);
    EXPECT_EQ(player.playlist[2].file, "\\\\" + computer + "\\Music\\agent-road.wav");
    EXPECT_TRUE(RunShell("rm " + unc + "/Music; rmdir " + unc + " \"$WINEPREFIX/dosdevices/unc\""));
}

TEST_F(AgentRoad, ListeningIsRefusedByTheSettingsToStrangersAndToSilentListeners) {
    WriteFileBytes("orvela_agent.ini", "[MAIN]\r\nALLOW_LISTENING=0\r\n");
    ASSERT_TRUE(agent.Start());
    Box box;
    {
        ModalScript script({box.Answer()});
        SendMessageA(rows.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, At(Row()));
    }
    EXPECT_EQ(box.caption + ": " + box.text,
              "Result on play: " + name + " doesn't permit sound transmission!");
    EXPECT_EQ(agent.Caption(), "Orvela agent: listening turned off");
    EXPECT_EQ(agent.Stop(), 0u);

    WriteFileBytes("orvela_agent.ini", "[MAIN]\r\nLISTENING=all\r\n");
    ASSERT_TRUE(agent.Start());
    EXPECT_EQ(Udp("127.0.0.4").Ask("OPEN_STREAM"), "DENY") << "never granted";
    const Udp quiet("127.0.0.5"); // never answers "PING"
    EXPECT_EQ(quiet.Ask("NEED_STREAM"), "OK");
    EXPECT_EQ(quiet.Ask("OPEN_STREAM"), "OK~1");
    for (const char* caption : {"Orvela agent: 1 computer listens", "Orvela agent"})
        EXPECT_TRUE(PumpUntil([&] { return agent.Caption() == caption; }, 9000)) << caption;
    int backlog = 0; // what was sent before the drop, then nothing
    while (!quiet.Next(false).empty() && ++backlog < 300) {
    }
    EXPECT_LT(backlog, 300) << "the silent listener's stream went on";

    // "Stop sharing sound" tells the listener, and refuses from then on.
    const Udp one("127.0.0.6");
    EXPECT_EQ(one.Ask("NEED_STREAM"), "OK");
    EXPECT_EQ(one.Ask("OPEN_STREAM"), "OK~1");
    SendMessageA(agent.Window(), WM_COMMAND, agent::kStopSharingCommand, 0);
    EXPECT_EQ(one.Next(), "CLOSE_STREAM");
    EXPECT_EQ(one.Ask("NEED_STREAM"), "DENY");
}

TEST_F(AgentRoad, AskingByDefaultOffersTheAnnouncedNameAndAddressAndAClickAllowsExactlyThem) {
    // The settings say nothing of listening: the agent asks. The asking
    // computer announces itself on the group, which this computer's browser
    // and agent hear at the same time, sharing the port.
    DeleteFileA("orvela_agent.ini");
    ASSERT_TRUE(agent.Start());
    // Under Wine here every socket of a Windows program sends from
    // 127.0.0.1, whatever loopback address it is bound to, so DESK announces
    // from there (which the browser takes for its own computer's address).
    ShellJob desk;
    ASSERT_TRUE(StartPeersim(desk, {"--peer", "--src", "127.0.0.1", "--comp", "DESK", "--user",
                                    "ben", "--interval", "300", "--count", "100"}));
    ASSERT_GE(Row(), 0) << "the browser hears the group beside the agent";
    const Udp asking("127.0.0.9");
    PumpFor(700); // the agent has heard DESK announce too
    EXPECT_EQ(asking.Ask("NEED_STREAM"), "DENY");
    const std::string offer = "DESK (ben) at 127.0.0.1 asks to listen. Click here to allow it.";
    EXPECT_TRUE(PumpUntil([&] { return agent.LastNotice() == offer; }, 3000)) << agent.LastNotice();
    PostMessageA(agent.Window(), WM_APP + 1, 1, NIN_BALLOONUSERCLICK); // the notification's click
    EXPECT_TRUE(PumpUntil([&] { return asking.Ask("NEED_STREAM") == "OK"; }, 3000));
    const std::string ini = ReadFileBytes(UserFile());
    EXPECT_NE(ini.find("ALLOWED=DESK@127.0.0.1"), std::string::npos) << ini;
}

TEST_F(AgentRoad, ASwitchToAnotherUsersSessionHandsThePortsOverAndTheAgentWaitsForTheTurn) {
    ASSERT_TRUE(agent.Start());
    DWORD session = 0;
    ProcessIdToSessionId(agent.id, &session);
    const Udp one("127.0.0.6");
    EXPECT_EQ(one.Ask("NEED_STREAM"), "OK");
    EXPECT_EQ(one.Ask("OPEN_STREAM"), "OK~1");
    PostMessageA(agent.Window(), WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, session);
    EXPECT_EQ(one.Next(), "CLOSE_STREAM");
    const std::string standby = "Orvela agent: shared by the session at the screen";
    EXPECT_TRUE(PumpUntil([&] { return agent.Caption() == standby; }, 2000));
    {
        sockaddr_in at{}; // where the next session's agent binds
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = inet_addr("127.0.0.3");
        at.sin_port = htons(5146);
        const UniqueSocket s(socket(AF_INET, SOCK_DGRAM, 0));
        EXPECT_EQ(bind(s.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at), 0) << "still held";
    }
    // The agent of the session at the screen holds the turn: this one, back
    // at the screen, waits in the background until it is given up.
    UniqueHandle turn(
        OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, "Global\\OrvelaAgentSharing"));
    ASSERT_TRUE(turn);
    ASSERT_EQ(WaitForSingleObject(turn.Get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
    PostMessageA(agent.Window(), WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, session);
    PumpFor(500);
    one.Send("NEED_STREAM");
    EXPECT_EQ(one.Next(false), "") << "answered without the turn";
    EXPECT_EQ(agent.Caption(), standby);
    ReleaseMutex(turn.Get());
    EXPECT_TRUE(PumpUntil(
        [&] {
            one.Send("NEED_STREAM");
            return one.Next(false) == "OK";
        },
        3000));
    EXPECT_EQ(agent.Caption(), "Orvela agent");
}

// An older agent's settings in this user's VirtualStore are taken over; the
// window shows them, and every change applies at once and is saved.
TEST_F(AgentRoad, SettingsWindowAppliesEachChangeAtOnceAndSavesItInTheUsersFile) {
    char here[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, here);
    const std::string kept =
        agent::VirtualStorePath(user, std::string(here) + "\\orvela_agent.ini");
    SHCreateDirectoryExA(nullptr, kept.substr(0, kept.rfind('\\')).c_str(), nullptr);
    WriteFileBytes(kept, "[MAIN]\r\nLISTENING=ask\r\nALLOWED=DESK@127.0.0.1,PC7@127.0.0.9\r\n");
    ASSERT_TRUE(agent.Start());
    EXPECT_EQ(GetFileAttributesA(kept.c_str()), INVALID_FILE_ATTRIBUTES) << "taken over once";
    const auto saved = [&](const char* key) {
        char value[256] = {};
        GetPrivateProfileStringA("MAIN", key, "-", value, sizeof value, UserFile().c_str());
        return std::string(value);
    };
    EXPECT_EQ(saved("ALLOWED"), "DESK@127.0.0.1,PC7@127.0.0.9");

    SendMessageA(agent.Window(), WM_COMMAND, agent::kSettingsCommand, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] { return (dialog = FindWindowA("#32770", "Orvela agent settings")) != nullptr; },
        5000));
    const auto item = [&](int id) { return GetDlgItem(dialog, id); };
    const auto click = [&](int id) { SendMessageA(item(id), BM_CLICK, 0, 0); };
    const auto choose = [&](int id, int index) {
        SendMessageA(item(id), CB_SETCURSEL, index, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(item(id)));
    };
    HWND allowed = item(1004);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1002), static_cast<UINT>(BST_CHECKED)) << "asking";
    ASSERT_EQ(SendMessageA(allowed, LB_GETCOUNT, 0, 0), 2);
    wchar_t row[64] = {}; // (Wine passes list texts between processes as wide ones only)
    SendMessageW(allowed, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(row));
    EXPECT_STREQ(row, L"PC7 at 127.0.0.9");
    EXPECT_EQ(SendMessageA(item(1007), CB_GETCOUNT, 0, 0), 5) << "the five qualities";
    SendMessageA(allowed, LB_SETCURSEL, 1, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1004, LBN_SELCHANGE), LPARAM(allowed));
    click(1005);
    EXPECT_TRUE(PumpUntil([&] { return saved("ALLOWED") == "DESK@127.0.0.1"; }, 3000));
    EXPECT_TRUE(PumpUntil([&] { return SendMessageA(allowed, LB_GETCOUNT, 0, 0) == 1; }, 3000));

    click(1001); // every computer, then the best quality
    choose(1007, 4);
    EXPECT_TRUE(PumpUntil([&] { return saved("FORMAT") == "5"; }, 3000)) << "applied, then saved";
    const Udp one("127.0.0.6");
    EXPECT_TRUE(PumpUntil(
        [&] {
            one.Send("NEED_STREAM");
            return one.Next(false) == "OK";
        },
        3000));
    EXPECT_EQ(one.Ask("OPEN_STREAM"), "OK~5");
    click(1003); // no one: the listener is let go at once
    EXPECT_EQ(one.Next(), "CLOSE_STREAM");
    EXPECT_EQ(one.Ask("NEED_STREAM"), "DENY");
    click(1008);
    EXPECT_TRUE(PumpUntil([&] { return saved("ALLOW_PLAYLIST") == "0"; }, 3000));
    EXPECT_EQ(saved("LISTENING"), "off");
    EXPECT_EQ(agent.Stop(), 0u);

    // A file that cannot be written is said, not only traced.
    ASSERT_TRUE(DeleteFileA(UserFile().c_str()));
    ASSERT_TRUE(CreateDirectoryA(UserFile().c_str(), nullptr));
    ASSERT_TRUE(agent.Start());
    SendMessageA(agent.Window(), WM_COMMAND, agent::kSettingsCommand, 0);
    ASSERT_TRUE(PumpUntil(
        [&] { return (dialog = FindWindowA("#32770", "Orvela agent settings")) != nullptr; },
        5000));
    click(1008);
    EXPECT_TRUE(PumpUntil(
        [&] {
            return agent.LastNotice().find("could not be saved in " + UserFile()) !=
                   std::string::npos;
        },
        3000))
        << agent.LastNotice();
}

TEST_F(AgentRoad, SurvivesBadDatagramsAndAFloodAndRunsOncePerSession) {
    ASSERT_TRUE(agent.Start());
    const Udp bad("127.0.0.4");
    int sent = 0;
    WIN32_FIND_DATAA found;
    for (const char* target :
         {"presence_fuzz", "tagged_packet_fuzz", "instream_fuzz", "agent_fuzz"}) {
        const std::string dir = std::string("Z:") + ORVELA_FUZZ_CORPUS + "/" + target + "/";
        HANDLE h = FindFirstFileA((dir + "*").c_str(), &found);
        for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found))
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                bad.Send(ReadFileBytes(dir + found.cFileName)), ++sent;
        FindClose(h);
    }
    EXPECT_GT(sent, 25);
    EXPECT_EQ(bad.Next(false), "") << "a bad datagram was answered";

    const Udp flood("127.0.0.7");
    for (int i = 0; i < 5000; ++i)
        flood.Send("NEED_STREAM");
    int answers = 0;
    while (flood.Next(false) == "OK")
        ++answers;
    EXPECT_LT(answers, 200) << "the answers were not bounded";
    EXPECT_GE(Row(), 0) << "presence stopped";
    const Udp one("127.0.0.8");
    EXPECT_EQ(one.Ask("NEED_STREAM"), "OK");
    EXPECT_EQ(one.Ask("OPEN_STREAM"), "OK~1");

    AgentProcess second;
    EXPECT_FALSE(second.Start()) << "a second agent in the same session";
    EXPECT_EQ(second.Stop(), 3u);
    EXPECT_EQ(agent.Stop(), 0u);
    EXPECT_EQ(one.Next(), "CLOSE_STREAM") << "Exit tells the listener";
    // Wine's audio stack cannot capture the output: listening is refused.
    ASSERT_TRUE(agent.Start(false));
    EXPECT_EQ(Udp("127.0.0.4").Ask("NEED_STREAM"), "DENY");
    EXPECT_TRUE(PumpUntil(
        [&] { return agent.Caption() == "Orvela agent: this computer's sound cannot be captured"; },
        3000));
}

} // namespace
