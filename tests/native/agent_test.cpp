// The agent's rules: its settings, the answers to every request with the
// grant window, the listener bound, the local subnets, consent and the
// budgets per sender, the PING schedule and what counts as its answer, the
// presence packet as the browser reads it and the tray menu.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "agent/announce.h"
#include "agent/request_handler.h"
#include "agent/screen_turn.h"
#include "agent/tray_menu.h"
#include "base/text.h"
#include "peers/presence.h"

namespace {

using namespace agent;

// An INI text "KEY=value;..." of section MAIN.
struct IniStore : ProfileStore {
    std::string ini;
    void GetString(const char*, const char* key, const char* def, char* out, size_t room) override {
        const size_t at = (";" + ini).find(";" + std::string(key) + "=");
        const std::string v = at == std::string::npos
                                  ? def
                                  : ini.substr(at + std::strlen(key) + 1,
                                               ini.find(';', at) - at - std::strlen(key) - 1);
        std::snprintf(out, room, "%s", v.c_str());
    }
    bool PutString(const char*, const char* key, const char* value) override {
        ini = std::string(key) + "=" + value + ";" + ini; // found first from now on
        return true;
    }
};

// The settings as the agent reads them from the user's file over the
// program's, as "group userGroup port listening playlist format allowed";
// written back to the user's file, they read the same.
std::string Load(const std::string& ini, const std::string& user = "") {
    IniStore defaults, mine;
    defaults.ini = ini;
    mine.ini = user;
    LayeredProfileStore store(mine, defaults);
    AgentSettings s = LoadAgentSettings(store);
    EXPECT_TRUE(SaveUserSettings(store, s));
    EXPECT_EQ(defaults.ini, ini) << "the program's file is never written";
    EXPECT_EQ(LoadAgentSettings(store), s);
    const char* modes[] = {"all", "ask", "off"};
    return std::string(s.groupAddress) + " " + std::to_string(s.userGroup) + " " +
           std::to_string(s.requestPort) + " " + modes[static_cast<int>(s.listening)] + " " +
           std::to_string(s.grantPlaylist) + " " + std::to_string(s.streamFormat) + " " +
           FormatAllowed(s.allowed);
}

TEST(AgentSettings, GroupKeysAsTheBrowserReadsThemAndBadValuesGiveDefaults) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "225.5.5.0:5145 100 5146 ask 1 1 "},
        {"CHANNEL=7;BROADCAST_IP=239.1.2.3:6000;PORT=6001;ALLOW_LISTENING=0;ALLOW_PLAYLIST= 0;"
         "FORMAT=5",
         "239.1.2.3:6000 7 6001 off 0 5 "},
        {"CHANNEL=300;PORT=70000;ALLOW_LISTENING=no;ALLOW_PLAYLIST=2;FORMAT=x",
         "225.5.5.0:5145 44 5146 ask 1 1 "},
        {"ALLOW_LISTENING=0;LISTENING=ask;ALLOWED=DESK@10.0.0.2,@10.0.0.3,X@1.2.3,A,D&k@10.0.0.4",
         "225.5.5.0:5145 100 5146 ask 1 1 DESK@10.0.0.2,D_k@10.0.0.4"},
        {"LISTENING=ALL", "225.5.5.0:5145 100 5146 ask 1 1 "},
        {"LISTENING=all", "225.5.5.0:5145 100 5146 all 1 1 "},
    };
    for (const auto& [ini, want] : rows)
        EXPECT_EQ(Load(ini), want) << ini;
    // What the user decided wins over the installer's defaults, key by key.
    EXPECT_EQ(Load("LISTENING=all;PORT=6001;FORMAT=3", "LISTENING=off;ALLOWED=PC@10.0.0.9"),
              "225.5.5.0:5145 100 6001 off 1 3 PC@10.0.0.9");
    EXPECT_EQ(VirtualStorePath("C:\\Users\\ann\\AppData\\Local",
                               "C:\\Program Files (x86)\\Orvela\\orvela_agent.ini"),
              "C:\\Users\\ann\\AppData\\Local\\VirtualStore\\Program Files "
              "(x86)\\Orvela\\orvela_agent.ini");
    EXPECT_EQ(VirtualStorePath("C:\\Users\\ann\\AppData\\Local", "\\\\server\\share\\a.ini"), "");
}

struct FakeHost : AgentHost {
    bool player = true, sound = true;
    int exports = 0;
    bool ExportPlaylist(std::vector<uint8_t>& packet) override {
        ++exports;
        if (player) packet = {5, 0, 3, 0, 0};
        return player;
    }
    bool SoundAvailable() override { return sound; }
};

AgentSettings ListeningToAll() {
    AgentSettings s;
    s.listening = ListeningMode::All;
    return s;
}

struct AgentHandler : ::testing::Test {
    AgentSettings settings = ListeningToAll();
    FakeHost host;
    RequestHandler handler{settings, host};

    // The answer to `text` from 127.0.0.<host> (or any address above 255)
    // and <port> at `now`, as text.
    std::string Ask(uint32_t now, uint32_t from, uint16_t port, const std::string& text) {
        const Endpoint sender{from > 255 ? from : 0x7F000000u + from, port};
        const auto answer = handler.OnDatagram(reinterpret_cast<const uint8_t*>(text.data()),
                                               text.size(), sender, now);
        return std::string(answer.begin(), answer.end());
    }
};

TEST_F(AgentHandler, OnlyAGrantedOrListeningAddressOpensAStream) {
    const std::tuple<uint32_t, uint32_t, uint16_t, std::string, std::string> script[] = {
        {0, 2, 4000, "HELLO", ""},
        {0, 2, 4000, "need_stream", ""}, // the words are exact
        {0, 2, 4000, "OPEN_STREAM", "DENY"},
        {0, 2, 4000, "NEED_STREAM", "OK"},
        {100, 2, 4001, "OPEN_STREAM", "OK~1"}, // the stream plug-in's own port
        {200, 2, 4001, "OPEN_STREAM", "OK~1"},
        {300, 3, 5000, "OPEN_STREAM", "DENY"},
        {20000, 2, 4002, "OPEN_STREAM", "OK~1"}, // grant gone, but .2 listens
        {20000, 4, 1, "NEED_STREAM", "OK"},
        {29999, 4, 2, "OPEN_STREAM", "OK~1"},
        {29999, 5, 1, "NEED_STREAM", "OK"},
        {39999, 5, 2, "OPEN_STREAM", "DENY"}, // the window has passed
        {40000, 2, 4001, "CLOSE_STREAM", ""},
        {40000, 2, 4001, "GET_PLAYLIST", std::string("\5\0\3\0\0", 5)},
    };
    for (const auto& [now, from, port, text, answer] : script)
        EXPECT_EQ(Ask(now, from, port, text), answer) << now << " " << text;
    EXPECT_EQ(handler.Listeners().Clear(),
              (std::vector<Endpoint>{{0x7F000002, 4002}, {0x7F000004, 2}}));
}

TEST_F(AgentHandler, ListenersAreBoundedAndRefusalsFollowSettingsSoundAndSharing) {
    Ask(0, 2, 1, "NEED_STREAM");
    for (uint16_t port = 1; port <= ListenerTable::kMaxListeners; ++port)
        EXPECT_EQ(Ask(0, 2, port, "OPEN_STREAM"), "OK~1");
    EXPECT_EQ(Ask(0, 2, 99, "OPEN_STREAM"), "DENY");
    EXPECT_EQ(handler.StopSharing().size(), ListenerTable::kMaxListeners);
    EXPECT_EQ(Ask(0, 3, 1, "NEED_STREAM"), "DENY");
    EXPECT_EQ(Ask(0, 2, 1, "OPEN_STREAM"), "DENY");
    handler.ResumeSharing();
    host.sound = false;
    EXPECT_EQ(Ask(0, 3, 1, "NEED_STREAM"), "DENY");
    host.sound = true;
    host.player = false;
    EXPECT_EQ(Ask(0, 3, 1, "GET_PLAYLIST"), "PLAYLIST_ERROR");
    settings.listening = ListeningMode::Off;
    settings.grantPlaylist = false;
    RequestHandler off(settings, host);
    for (const std::string_view text : {wire::kNeedStream, wire::kOpenStream, wire::kGetPlaylist}) {
        const auto a = off.OnDatagram(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                      {0x7F000002, 1}, 0);
        EXPECT_EQ(std::string(a.begin(), a.end()), "DENY") << text;
    }
    EXPECT_EQ(host.exports, 1);
    // Choosing to ask ends the streams of the computers not allowed, at once.
    Ask(0, 3, 1, "NEED_STREAM");
    EXPECT_EQ(Ask(0, 3, 7, "OPEN_STREAM"), "OK~1");
    std::vector<Endpoint> closed;
    handler.SetListening(ListeningMode::Ask, closed, 0);
    EXPECT_EQ(closed, (std::vector<Endpoint>{{0x7F000003, 7}}));
    EXPECT_TRUE(handler.Listeners().Empty());
    EXPECT_EQ(Ask(0, 3, 1, "NEED_STREAM"), "DENY");
}

TEST_F(AgentHandler, EachSenderHasItsShareAndAComputerAtANormalPaceIsAnsweredBesideACrowd) {
    // Answered of one request from each of `senders` addresses from `first` on.
    const auto answered = [&](uint32_t now, uint32_t first, int senders, const char* text) {
        int n = 0;
        for (int a = 0; a < senders; ++a)
            n += !Ask(now, first + a, 9, text).empty();
        return n;
    };
    handler.SetInterfaces({{0x0A000001, 0xFFFF0000, true, true, false}});
    const int share = static_cast<int>(RequestHandler::kAnswersPerSender);
    const int ceiling = static_cast<int>(RequestHandler::kAnswersCeiling);
    int steady = 0, flooder = 0;
    for (uint32_t ms = 0; ms < 3000; ms += 10) {
        flooder += answered(ms, 0x0A000002, 1, "NEED_STREAM");                     // 100 a second
        steady += ms % 100 == 0 && !Ask(ms, 0x0A00FF01, 9, "NEED_STREAM").empty(); // 10 a second
    }
    EXPECT_EQ(steady, 30) << "a computer asking ten times a second beside one flooder";
    EXPECT_LE(flooder, 4 * share);
    // 64 forged senders asking 50 times a second each, beside a computer
    // asking once a second.
    int real = 0, crowd = 0;
    for (uint32_t ms = 10000; ms < 20000; ms += 20) {
        crowd += answered(ms, 0x0A000100, 64, "NEED_STREAM");
        real += ms % 1000 == 500 && !Ask(ms, 0x0A00FF02, 9, "NEED_STREAM").empty();
    }
    EXPECT_GE(real, 9) << "of 10";
    EXPECT_LE(crowd, 10 * ceiling + 64 * share) << "of 32000 in ten seconds";
    EXPECT_GE(crowd, 5 * ceiling) << "the crowd has its fair part too";
    // Playlists: a share of their own.
    const int playlists = [&] {
        int n = 0;
        for (int i = 0; i < 10; ++i)
            n += answered(30000, 0x0A000002, 1, "GET_PLAYLIST");
        return n;
    }();
    EXPECT_EQ(playlists, static_cast<int>(RequestHandler::kPlaylistsPerSender));
    EXPECT_EQ(host.exports, playlists);
}

TEST_F(AgentHandler, AComputerIsNotifiedOfOncePerMinuteAndOffersComeOneEveryFewSeconds) {
    int listening = 0;
    for (uint32_t ms = 0; ms < 70000; ms += 100) { // open and close ten times a second
        if (ms % 10000 == 0) Ask(ms, 2, 1, "NEED_STREAM");
        Ask(ms, 2, 1, "OPEN_STREAM");
        Ask(ms, 2, 1, "CLOSE_STREAM");
        listening += static_cast<int>(handler.TakeNotices().size());
    }
    EXPECT_EQ(listening, 2) << "at 0 and 60 s";
    settings.listening = ListeningMode::Ask;
    RequestHandler asking(settings, host);
    int offers = 0;
    for (uint32_t ms = 0; ms < 10000; ms += 100) {
        for (uint32_t a = 10; a < 74; ++a) {
            asking.Names().Heard(0x7F000000 + a, "PC" + std::to_string(a), "", ms);
            const std::string_view need = wire::kNeedStream;
            asking.OnDatagram(reinterpret_cast<const uint8_t*>(need.data()), need.size(),
                              {0x7F000000 + a, 1}, ms);
        }
        offers += static_cast<int>(asking.TakeNotices().size());
    }
    EXPECT_EQ(offers, 2) << "at 0 and 5 s, of 64 computers asking ten times a second";
}

TEST_F(AgentHandler, AnswersOnlyTheLocalSubnetsAndDropsAListenerWithNothingBehindItsPort) {
    handler.SetInterfaces({{0xC0A80105, 0xFFFFFF00, true, true, false}}); // 192.168.1.5/24
    EXPECT_EQ(Ask(0, 0xC0A80120, 9, "NEED_STREAM"), "OK");
    EXPECT_EQ(Ask(0, 0xC0A80220, 9, "NEED_STREAM"), "") << "another subnet";
    EXPECT_EQ(Ask(0, 0xC0A801FF, 9, "NEED_STREAM"), "") << "the subnet's broadcast address";
    EXPECT_EQ(Ask(0, 0x08080808, 9, "GET_PLAYLIST"), "");
    EXPECT_EQ(Ask(0, 0xC0A80120, 9, "OPEN_STREAM"), "OK~1");
    EXPECT_EQ(Ask(0, 0xC0A80120, 10, "OPEN_STREAM"), "OK~1");
    handler.OnUnreachable({0xC0A80120, 10});
    EXPECT_EQ(handler.Listeners().Clear(), (std::vector<Endpoint>{{0xC0A80120, 9}}));
}

TEST_F(AgentHandler, AskingPermitsOnlyTheAllowedNameAtItsAddressAndAllowsExactlyTheOffer) {
    settings.listening = ListeningMode::Ask;
    settings.allowed = {{"DESK", 0x7F000002}};
    RequestHandler asking(settings, host);
    const auto ask = [&](uint32_t now, uint32_t from, const std::string& text) {
        const auto a = asking.OnDatagram(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                         {0x7F000000u + from, 7}, now);
        return std::string(a.begin(), a.end());
    };
    EXPECT_EQ(ask(0, 2, "NEED_STREAM"), "DENY") << "allowed, but its name is not heard";
    asking.Names().Heard(0x7F000002, "DESK", "ben", 5000);
    asking.Names().Heard(0x7F000003, "DESK", "eve", 5000); // a second DESK elsewhere
    EXPECT_EQ(ask(5000, 2, "NEED_STREAM"), "OK");
    EXPECT_EQ(ask(5000, 3, "NEED_STREAM"), "DENY");
    EXPECT_EQ(ask(5000, 2, "OPEN_STREAM"), "OK~1");
    EXPECT_EQ(asking.TakeNotices(),
              (std::vector<Notice>{
                  {Notice::Asking, {"", 0x7F000002}, "127.0.0.2"},
                  {Notice::Asking, {"DESK", 0x7F000003}, "DESK (eve) at 127.0.0.3"},
                  {Notice::Listening, {"DESK", 0x7F000002}, "DESK (ben) at 127.0.0.2"}}));
    EXPECT_EQ(AskingNotice("DESK (eve) at 127.0.0.3"), "DESK (eve) at 127.0.0.3 asks to listen");
    EXPECT_EQ(asking.Consents().Offers(), (std::vector<AllowedComputer>{{"DESK", 0x7F000003}}));
    EXPECT_TRUE(asking.Allow({"DESK", 0x7F000003}));
    EXPECT_FALSE(asking.Allow({"", 0x7F000005})) << "a computer without a name";
    EXPECT_EQ(FormatAllowed(asking.Consents().Allowed()), "DESK@127.0.0.2,DESK@127.0.0.3")
        << "the real DESK keeps its place";
    EXPECT_EQ(ask(6000, 3, "NEED_STREAM"), "OK");
    asking.Names().Heard(0x7F000003, "LAPTOP", "", 7000); // another computer took the address
    EXPECT_EQ(ask(7000, 3, "NEED_STREAM"), "DENY");
    EXPECT_EQ(ask(9500, 2, "NEED_STREAM"), "DENY") << "DESK went silent: its name is forgotten";
    asking.Names().Heard(0x7F000002, "DESK", "ben", 10000);
    EXPECT_EQ(ask(10000, 2, "NEED_STREAM"), "OK");
    std::vector<Endpoint> closed;
    EXPECT_FALSE(asking.Revoke({"LAPTOP", 0x7F000002}, closed));
    EXPECT_TRUE(asking.Revoke({"DESK", 0x7F000002}, closed));
    EXPECT_EQ(closed, (std::vector<Endpoint>{{0x7F000002, 7}}));
    EXPECT_TRUE(asking.Listeners().Empty());
}

// How long a listener lasts, in milliseconds up to `limitMs`, when at every
// 10 ms `answers` says whether "PING_OK" comes from it, given the time of
// the last "PING" (kNever before the first) and how many came.
constexpr uint32_t kNever = 0xFFFFFFFFu;
uint32_t Lifetime(uint32_t limitMs, const std::function<bool(uint32_t, uint32_t, int)>& answers,
                  std::vector<uint32_t>* pingTimes = nullptr) {
    ListenerTable t(7);
    const Endpoint who{1, 1};
    t.Add(who, 0);
    uint32_t pinged = kNever;
    int count = 0;
    std::vector<Endpoint> pings, dropped, ended;
    for (uint32_t now = 0; now < limitMs; now += 10) {
        if (answers(now, pinged, count)) t.Heard(who, now, ended);
        pings.clear();
        t.Tick(now, pings, dropped);
        if (!pings.empty()) {
            pinged = now;
            ++count;
            if (pingTimes) pingTimes->push_back(now);
        }
        if (t.Empty()) return now;
    }
    return limitMs;
}

TEST(AgentListeners, ARealListenerStreamsForMinutesWhileBlindOrWrongAnswersEndAStreamAtOnce) {
    const uint32_t tenMinutes = 600000;
    std::vector<uint32_t> times;
    const auto prompt = [](uint32_t now, uint32_t pinged, int) {
        return pinged != kNever && now - pinged == 10;
    };
    EXPECT_EQ(Lifetime(tenMinutes, prompt, &times), tenMinutes);
    std::vector<uint32_t> intervals;
    for (size_t i = 1; i < times.size(); ++i)
        intervals.push_back(times[i] - times[i - 1]);
    ASSERT_GT(intervals.size(), 100u);
    EXPECT_GE(*std::min_element(intervals.begin(), intervals.end()), kPingMinMs);
    EXPECT_LE(*std::max_element(intervals.begin(), intervals.end()), kPingMaxMs + 10);
    std::sort(intervals.begin(), intervals.end());
    EXPECT_GT(std::unique(intervals.begin(), intervals.end()) - intervals.begin(), 50)
        << "ping times follow a pattern";
    // A lost answer now and then (never two in a row) costs nothing.
    EXPECT_EQ(Lifetime(tenMinutes, [&](uint32_t now, uint32_t pinged,
                                       int n) { return n % 5 != 0 && prompt(now, pinged, n); }),
              tenMinutes);
    const std::pair<const char*, std::function<bool(uint32_t, uint32_t, int)>> forged[] = {
        {"blind, 5 a second", [](uint32_t now, uint32_t, int) { return now % 200 == 0; }},
        {"blind, 20 a second", [](uint32_t now, uint32_t, int) { return now % 50 == 0; }},
        {"never", [](uint32_t, uint32_t, int) { return false; }},
        {"late", [](uint32_t now, uint32_t p, int) { return p != kNever && now - p == 600; }},
        {"twice", [](uint32_t now, uint32_t p,
                     int) { return p != kNever && (now - p == 10 || now - p == 20); }},
    };
    for (const auto& [how, answers] : forged)
        EXPECT_LT(Lifetime(tenMinutes, answers), kPingMaxMs + kPingRetryMaxMs + 2 * kPingAnswerMs)
            << how;
    // An answer from another port of the listener's address ends its stream.
    ListenerTable t;
    std::vector<Endpoint> ended;
    t.Add({1, 1}, 0);
    t.Add({2, 1}, 0);
    EXPECT_FALSE(t.Heard({1, 2}, 100, ended));
    EXPECT_EQ(ended, (std::vector<Endpoint>{{1, 1}}));
    EXPECT_EQ(t.Clear(), (std::vector<Endpoint>{{2, 1}}));
    t.Add({1, 1}, 0xFFFFF000u); // across the tick count's wrap
    EXPECT_LE(t.MsUntilNext(0xFFFFF000u, 5000), kPingMaxMs);
}

TEST(AgentLan, LocalSubnetsNamesAndTheInterfacesPresenceLeavesBy) {
    const std::vector<LocalInterface> up = {
        {0x0A000105, 0xFFFFFF00, true, true, false},  // 10.0.1.5/24
        {0xAC100001, 0xFFFF0000, false, true, false}, // 172.16.0.1/16, down
        {0xC0A80001, 0xFFFFFFFF, true, false, false}, // 192.168.0.1/32, no multicast
        {0x7F000001, 0xFF000000, true, true, true},
        {0x0B000001, 0, true, true, false}, // no mask: nothing is local by it
    };
    const std::pair<uint32_t, bool> rows[] = {
        {0x7F000009, true},  {0x0A000109, true},  {0x0A000105, true},  {0x0A000209, false},
        {0x0A000100, false}, {0x0A0001FF, false}, {0xAC100002, false}, {0xC0A80001, true},
        {0xC0A80002, false}, {0x08080808, false},
    };
    for (const auto& [address, local] : rows)
        EXPECT_EQ(OnLocalSubnet(address, up), local) << AddressText(address);
    EXPECT_EQ(AnnounceInterfaces(up), (std::vector<uint32_t>{0x0A000105, 0x0B000001}));
    NameBook names;
    names.Heard(1, "DESK", "ben", 0);
    names.Heard(2, "LAPTOP", "", 0);
    EXPECT_EQ(names.Label(1, 0) + "|" + names.Label(2, 0) + "|" + names.Label(0x0A000109, 0),
              "DESK (ben) at 0.0.0.1|LAPTOP at 0.0.0.2|10.0.1.9");
    EXPECT_EQ(names.Computer(1, wire::kPresenceTimeoutMs), "")
        << "silent as long as a browser forgets";
    for (uint32_t i = 0; i < NameBook::kRoom; ++i)
        names.Heard(100 + i, "X", "", i + 1);
    EXPECT_EQ(names.Computer(1, 1000) + names.Computer(2, 1000), "") << "the longest silent left";
}

TEST(AgentPresence, TheBrowsersReaderTakesThePacketWithTextsCutToItsRecord) {
    PresenceInfo info{"STUDIO", std::string(150, 'u'), 5146, "Take Five", "D:\\Music\\a.mp3"};
    auto bytes = BuildPresencePacket(info);
    auto record = ReadPresenceDatagram(bytes.data(), bytes.size(), 0x7F000003, 0x7F000001);
    ASSERT_TRUE(record);
    EXPECT_EQ(std::string(record->computerName) + "|" + record->userName + "|" +
                  std::to_string(record->port) + "|" + record->title + "|" + record->sharedPath,
              "STUDIO|" + std::string(99, 'u') + "|5146|Take Five|D:\\Music\\a.mp3");
    info.title = info.file = std::string(5000, 't');
    EXPECT_LE(BuildPresencePacket(info).size(), 1024u);
    info.title = info.file = ""; // no player: no fields for them
    EXPECT_EQ(BuildPresencePacket(info).size(), 2u + (6 + 3) + (99 + 3) + (4 + 3));
}

TEST(AgentTrayMenu, ShowsWhoListensWhoMayBeAllowedOrRevokedThenStopOrShareAgainAndExit) {
    const auto items = [](const TrayState& state) {
        std::string out;
        for (const MenuEntry& e : TrayMenuEntries(state))
            out += e.separator ? "-|" : std::to_string(e.id) + (e.greyed ? "~" : "") + e.text + "|";
        return out;
    };
    TrayState state{{{1, "DESK", "DESK (ben) at 0.0.0.1"}, {2, "", "192.168.1.20"}},
                    {},
                    {{3, "LAPTOP", "LAPTOP at 0.0.0.3"}},
                    true,
                    ListeningMode::All};
    EXPECT_EQ(items(state), "0~DESK (ben) at 0.0.0.1 is listening|0~192.168.1.20 is listening|-|"
                            "1Stop sharing sound|4Settings...|3Exit|");
    EXPECT_EQ(TrayTip(state), "Orvela agent: 2 computers listen");
    state = {{},
             {{4, "STUDIO", ComputerText("STUDIO", 4)}},
             {{3, "LAPTOP", "LAPTOP at 0.0.0.3"}},
             false,
             ListeningMode::Ask};
    EXPECT_EQ(items(state),
              "0~Sound is not shared|-|100Allow STUDIO at 0.0.0.4|"
              "200Stop allowing LAPTOP at 0.0.0.3|-|2Share sound again|4Settings...|3Exit|");
    // A row allows what it showed, even once another computer asked.
    const TrayState shown = state;
    state.offered.insert(state.offered.begin(), {5, "DESK", "DESK at 0.0.0.5"});
    EXPECT_EQ(CommandComputer(shown, kAllowCommand)->name, "STUDIO");
    EXPECT_EQ(CommandComputer(shown, kAllowCommand + 1), nullptr);
    EXPECT_EQ(CommandComputer(shown, kRevokeCommand)->address, 3u);

    // The icon is added every few seconds while the shell starts, for two
    // minutes, and at once again when a change to it fails.
    IconKeeper icon(1000);
    std::string due;
    for (uint32_t t : {1000u, 2000u, 4000u, 120999u, 121000u}) {
        if (!icon.AddDue(t)) continue;
        due += std::to_string(t) + " ";
        icon.Added(false, t);
    }
    EXPECT_EQ(due, "1000 4000 120999 ");
    icon.ChangeFailed(200000);
    EXPECT_TRUE(icon.AddDue(200000));
    icon.Added(true, 200000);
    EXPECT_FALSE(icon.AddDue(210000)) << "shown";
    state.mode = ListeningMode::Off;
    EXPECT_EQ(items(state), "0~Listening is turned off in the settings|-|4Settings...|3Exit|");
    state.standby = true;
    EXPECT_EQ(items(state), "0~Shared by the session at the screen|-|4Settings...|3Exit|");
    // Cut at a word, within the shell's room.
    const std::string notice = ListeningNotice("WORKSTATION-7 (a.very.long.user.name) at 10.1.2.3");
    EXPECT_EQ(FitText(notice, 48), "WORKSTATION-7 (a.very.long.user.name) at...");
    EXPECT_EQ(FitText(notice, 256), notice);
    EXPECT_EQ(FitText("Supercalifragilistic", 10), "Superc...");
}

// Only the agent of the session at the screen shares; a switch to another
// user's session hands over, locking alone does not.
TEST(AgentScreenTurn, SessionChangesEventByEvent) {
    ScreenTurn turn(2, 2);
    std::string seen;
    const std::pair<unsigned, uint32_t> changes[] = {
        {ScreenTurn::kLock, 2},
        {ScreenTurn::kUnlock, 2},
        {ScreenTurn::kConsoleDisconnect, 2},
        {ScreenTurn::kConsoleConnect, 3},
        {ScreenTurn::kConsoleDisconnect, 3},
        {ScreenTurn::kConsoleConnect, 2},
        {ScreenTurn::kRemoteConnect, 2},
        {ScreenTurn::kConsoleConnect, 2},
        {ScreenTurn::kLogoff, 2},
    };
    for (const auto& [change, session] : changes) {
        const bool moved = turn.OnChange(change, session);
        seen += std::string(turn.AtScreen() ? "S" : "-") + (moved ? "!" : "") + " ";
    }
    EXPECT_EQ(seen, "S S -! - - S! -! S! -! ");
    EXPECT_TRUE(ScreenTurn(2, ScreenTurn::kNoSession).AtScreen()) << "the console changes hands";
    EXPECT_FALSE(ScreenTurn(2, 1).AtScreen());
    EXPECT_FALSE(ScreenTurn(2, 2).OnChange(ScreenTurn::kConsoleConnect, 2));
}

} // namespace
