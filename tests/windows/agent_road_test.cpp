// The agent program with the real plug-ins, nothing simulated between them:
// the player emulator hosts gen_orvela.dll and in_orvela.dll, orvela_agent.exe
// runs beside it on 127.0.0.3 with a WAV file as its sound. The agent's rules
// are proven natively; these prove the processes, the sockets, the player's
// window and the sound.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "agent/tray_menu.h"
#include "base/owners_win.h"
#include "instream/ima_encoder.h"
#include "net/requests.h"
#include "tests/windows/browser_support.h"
#include "tests/windows/presence_harness.h"
#include "ui/listview_win.h"

namespace {

using namespace browser_test;
using namespace presence_test;

std::string Here(const char* file) {
    char name[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, name, MAX_PATH);
    return std::string(name).substr(0, std::string(name).rfind('\\') + 1) + file;
}

// orvela_agent.exe on 127.0.0.3, ended by WM_CLOSE to its hidden window.
struct AgentProcess {
    UniqueHandle process;
    DWORD id = 0;
    ~AgentProcess() { Stop(); }
    bool Start(const std::string& args) {
        std::string command = "\"" + Here("orvela_agent.exe") +
                              "\" --bind 127.0.0.3 --multicast-if 127.0.0.3 --exit-after 90000 " +
                              args;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        id = pi.dwProcessId;
        process.Reset(pi.hProcess);
        return PumpUntil([&] { return Window() || Ended(); }, 15000) && !Ended();
    }
    // Its hidden window, once it made one.
    HWND Window() const {
        HWND w = FindWindowA("OrvelaAgent", nullptr);
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        return w && owner == id ? w : nullptr;
    }
    std::string Caption() const { return WindowText(Window()); }
    bool Ended() const {
        return !process || WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0;
    }
    DWORD Stop() {
        if (!process) return STILL_ACTIVE;
        if (HWND w = Window()) PostMessageA(w, WM_CLOSE, 0, 0);
        if (!PumpUntil([&] { return Ended(); }, 15000)) TerminateProcess(process.Get(), 99);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.Get(), &code);
        process.Reset();
        return code;
    }
};

// A socket of the test on 127.0.0.<n>, talking to the agent's request port.
struct Udp {
    UniqueSocket s{socket(AF_INET, SOCK_DGRAM, 0)};
    explicit Udp(const char* address) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = inet_addr(address);
        bind(s.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at);
        const DWORD ms = 300;
        setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    }
    void Send(std::string_view bytes) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = inet_addr("127.0.0.3");
        to.sin_port = htons(5146);
        sendto(s.Get(), bytes.data(), static_cast<int>(bytes.size()), 0,
               reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // The next datagram; empty after 300 ms without one.
    std::string Receive() const {
        char buffer[8192];
        const int n = recv(s.Get(), buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, n) : std::string();
    }
    // The next answer or control text but "PING", audio skipped; empty
    // after 3 s without one.
    std::string Control() const {
        for (int i = 0, idle = 0; idle < 10 && i < 100; ++i) {
            const std::string d = Receive();
            idle += d.empty();
            if (!d.empty() && d.size() < 30 && d != "PING") return d;
        }
        return "";
    }
    std::string Ask(std::string_view text) const {
        Send(text);
        return Control();
    }
};

// Three seconds of stereo sound at 44100 Hz that never repeats a block.
std::vector<int16_t> Sound() {
    std::vector<int16_t> frames;
    for (int i = 0; i < 3 * 44100; ++i) {
        frames.push_back(static_cast<int16_t>(8000 * std::sin(0.01 * i) + (i % 97) * 20));
        frames.push_back(static_cast<int16_t>(6000 * std::sin(0.0173 * i)));
    }
    return frames;
}

std::string WavBytes(const std::vector<int16_t>& frames) {
    const uint32_t data = static_cast<uint32_t>(frames.size() * 2);
    const uint32_t header[] = {0x46464952, 36 + data, 0x45564157, 0x20746D66, 16,  0x00020001,
                               44100,      176400,    0x00100004, 0x61746164, data};
    return std::string(reinterpret_cast<const char*>(header), sizeof header) +
           std::string(reinterpret_cast<const char*>(frames.data()), data);
}

struct AgentRoad : PresenceTest {
    PlayerEmulator player{{PlayerEmulator::FileMenu::WithSeparator, true}};
    ListView rows{nullptr};
    AgentProcess agent;
    const std::string wav = Here("agent-road.wav");
    const std::vector<int16_t> sound = Sound();
    std::string computer;

    void SetUp() override {
        PresenceTest::SetUp();
        if (IsSkipped()) return;
        ResetSettings();
        WriteFileBytes(wav, WavBytes(sound));
        char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD n = sizeof name;
        GetComputerNameA(name, &n);
        computer = name;
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
        DeleteFileA(wav.c_str());
        DeleteFileA(Here("orvela_agent.ini").c_str());
        RemoveSettings();
        PresenceTest::TearDown();
    }
    // The agent's row, once the browser shows it with `title`.
    int Row(const std::string& title = "") {
        int row = -1;
        PumpUntil(
            [&] {
                for (row = 0; row < rows.Count(); ++row)
                    if (const PeerRecord* r = rows.Record(row);
                        r && std::string(r->address) == "127.0.0.3" &&
                        (title.empty() || title == r->title))
                        return true;
                return (row = -1) >= 0;
            },
            15000);
        return row;
    }
    void DoubleClick(int row) {
        RECT r{};
        rows.RowBounds(row, r);
        SendMessageA(rows.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON,
                     MAKELPARAM(r.left + 5, r.top + 2));
    }
};

TEST_F(AgentRoad, BrowserListsTheAgentsComputerAndPlaysItsSoundUntilStop) {
    ASSERT_TRUE(agent.Start("--wav \"" + wav + "\""));
    const int row = Row("Miles Davis - So What");
    ASSERT_GE(row, 0) << "the agent's computer with the player's title";
    EXPECT_EQ(CellText(rows.Handle(), row, 0), computer);
    char user[257] = {};
    DWORD n = sizeof user;
    GetUserNameA(user, &n);
    EXPECT_EQ(CellText(rows.Handle(), row, 1), user);

    DoubleClick(row);
    ASSERT_EQ(player.played,
              std::vector<std::string>{"\\\\orvela::127.0.0.3:5146\\" +
                                       DisplayName(computer.c_str()) + "'s computer audio stream"});
    const size_t second = 44100 * 4;
    ASSERT_TRUE(PumpUntil([&] { return player.Output().PcmBytes() >= second; }, 10000));
    EXPECT_EQ(agent.Caption(), "Orvela agent: 1 computer listens");
    // The recording is the file after one IMA ADPCM round trip, from its start.
    const instream::AudioFormat& f = *instream::FindAudioFormat(1);
    instream::ImaEncoder encoder(f);
    std::vector<uint8_t> block(f.blockSize), expected;
    for (size_t at = 0; expected.size() < second; at += f.samplesPerBlock * 2) {
        encoder.EncodeBlock(sound.data() + at, block.data());
        expected.resize(expected.size() + f.PcmBlockBytes());
        instream::DecodeImaBlocks(f, block.data(), block.size(),
                                  expected.data() + expected.size() - f.PcmBlockBytes(),
                                  f.PcmBlockBytes());
    }
    const std::vector<uint8_t> recorded = player.Output().Pcm();
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + second, recorded.begin()));

    player.StopPlayback();
    EXPECT_TRUE(PumpUntil([&] { return agent.Caption() == "Orvela agent"; }, 3000))
        << agent.Caption();
}

TEST_F(AgentRoad, PlaylistOfTheAgentsPlayerImportsTheReachableEntries) {
    const std::string unc = "\"$WINEPREFIX/dosdevices/unc/" + computer + "\"";
    ASSERT_TRUE(RunShell("mkdir -p " + unc + " && ln -sfn " + ShellQuote(UnixPathOf(Here(""))) +
                         " " + unc + "/Music"));
    ASSERT_TRUE(agent.Start("--wav \"" + wav + "\""));
    const int row = Row();
    ASSERT_GE(row, 0);
    MenuScript menu(3);
    RECT r{};
    rows.RowBounds(row, r);
    PostMessageA(rows.Handle(), WM_RBUTTONUP, 0, MAKELPARAM(r.left + 5, r.top + 2));
    SendMessageA(rows.Handle(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(r.left + 5, r.top + 2));
    EXPECT_TRUE(PumpUntil([&] { return player.playlist.size() > 2; }, 5000));
    EXPECT_EQ(menu.items.at(2).text, "Get " + DisplayName(computer.c_str()) + "'s playlist");
    ASSERT_EQ(player.playlist.size(), 3u);
    EXPECT_EQ(player.playlist[2].file, "\\\\" + computer + "\\Music\\agent-road.wav");
    EXPECT_TRUE(RunShell("rm -f " + unc + "/Music; rmdir " + unc +
                         " \"$WINEPREFIX/dosdevices/unc\"; true"));
}

TEST_F(AgentRoad, ListeningIsRefusedByTheSettingsToStrangersAndToSilentListeners) {
    WriteFileBytes(Here("orvela_agent.ini"), "[MAIN]\r\nALLOW_LISTENING=0\r\n");
    ASSERT_TRUE(agent.Start("--wav \"" + wav + "\""));
    Box box;
    {
        ModalScript script({box.Answer()});
        DoubleClick(Row());
    }
    EXPECT_EQ(box.caption, "Result on play");
    EXPECT_EQ(box.text, DisplayName(computer.c_str()) + " doesn't permit sound transmission!");
    EXPECT_EQ(agent.Stop(), 0u);

    DeleteFileA(Here("orvela_agent.ini").c_str());
    ASSERT_TRUE(agent.Start("--wav \"" + wav + "\""));
    EXPECT_EQ(Udp("127.0.0.4").Ask("OPEN_STREAM"), "DENY") << "never granted";
    const Udp quiet("127.0.0.5"); // never answers "PING"
    EXPECT_EQ(quiet.Ask("NEED_STREAM"), "OK");
    quiet.Send("OPEN_STREAM");
    int audio = 0, pings = 0;
    DWORD lastAudio = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 10000;) {
        const std::string d = quiet.Receive();
        pings += d == "PING";
        if (d.size() >= 30) ++audio, lastAudio = GetTickCount() - start;
    }
    EXPECT_GE(pings, 3);
    EXPECT_GT(audio, 40);
    EXPECT_LT(lastAudio, 8000u) << "the silent listener was not dropped";

    // "Stop sharing sound" and Exit each tell the listener.
    const Udp one("127.0.0.6");
    EXPECT_EQ(one.Ask("NEED_STREAM"), "OK");
    EXPECT_EQ(one.Ask("OPEN_STREAM"), "OK~1");
    SendMessageA(agent.Window(), WM_COMMAND, agent::kStopSharingCommand, 0);
    EXPECT_EQ(one.Control(), "CLOSE_STREAM");
    EXPECT_EQ(one.Ask("NEED_STREAM"), "DENY");
    SendMessageA(agent.Window(), WM_COMMAND, agent::kShareAgainCommand, 0);
    EXPECT_EQ(one.Ask("NEED_STREAM"), "OK");
    EXPECT_EQ(one.Ask("OPEN_STREAM"), "OK~1");
    EXPECT_EQ(agent.Stop(), 0u);
    EXPECT_EQ(one.Control(), "CLOSE_STREAM");
}

TEST_F(AgentRoad, SurvivesBadDatagramsAndAFloodAndRunsOncePerSession) {
    ASSERT_TRUE(agent.Start("--wav \"" + wav + "\""));
    const Udp bad("127.0.0.4");
    int sent = 0;
    const std::string corpus = ORVELA_FUZZ_CORPUS;
    WIN32_FIND_DATAA found;
    for (const char* target :
         {"presence_fuzz", "tagged_packet_fuzz", "instream_fuzz", "agent_fuzz"}) {
        const std::string dir = "Z:" + corpus + "/" + target + "/";
        HANDLE h = FindFirstFileA((dir + "*").c_str(), &found);
        for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found))
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                bad.Send(ReadFileBytes(dir + found.cFileName)), ++sent;
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
    }
    EXPECT_GT(sent, 25);
    EXPECT_EQ(bad.Receive(), "") << "a bad datagram was answered";

    const Udp flood("127.0.0.7");
    for (int i = 0; i < 5000; ++i)
        flood.Send("NEED_STREAM");
    int answers = 0;
    while (flood.Receive() == "OK")
        ++answers;
    EXPECT_GT(answers, 0);
    EXPECT_LT(answers, 200) << "the answers were not bounded";
    EXPECT_GE(Row(), 0) << "presence stopped";
    EXPECT_EQ(Udp("127.0.0.8").Ask("NEED_STREAM"), "OK");

    AgentProcess second;
    EXPECT_FALSE(second.Start("")) << "a second agent in the same session";
    EXPECT_EQ(second.Stop(), 3u);
    EXPECT_EQ(agent.Stop(), 0u);
    // Without a file the sound is the output device's, which Wine's audio
    // stack cannot capture: listening is refused rather than silent.
    ASSERT_TRUE(agent.Start(""));
    EXPECT_EQ(Udp("127.0.0.4").Ask("NEED_STREAM"), "DENY");
}

} // namespace
