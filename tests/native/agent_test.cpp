// The agent's rules: its settings, the answers to every request with the
// grant window, the listener bound, the local subnets, consent and the
// budgets per sender, the PING schedule and what counts as its answer, the
// presence packet as the browser reads it and the tray menu.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "agent/announce.h"
#include "agent/request_handler.h"
#include "agent/tray_menu.h"
#include "peers/presence.h"

namespace {

using namespace agent;

// An INI text "KEY=value;..." of section MAIN as the agent reads it, and
// the settings as "group userGroup port listening playlist format allowed".
std::string Load(const std::string& ini) {
    struct : ProfileStore {
        std::string ini;
        void GetString(const char*, const char* key, const char* def, char* out,
                       size_t room) override {
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
    } store;
    store.ini = ini;
    AgentSettings s = LoadAgentSettings(store);
    SaveAllowed(store, s.allowed); // written back as it was read
    s = LoadAgentSettings(store);
    const char* modes[] = {"all", "ask", "off"};
    return std::string(s.groupAddress) + " " + std::to_string(s.userGroup) + " " +
           std::to_string(s.requestPort) + " " + modes[static_cast<int>(s.listening)] + " " +
           std::to_string(s.grantPlaylist) + " " + std::to_string(s.streamFormat) + " " +
           FormatAllowed(s.allowed);
}

TEST(AgentSettings, GroupKeysAsTheBrowserReadsThemAndBadValuesGiveDefaults) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "225.5.5.0:5145 100 5146 all 1 1 "},
        {"CHANNEL=7;BROADCAST_IP=239.1.2.3:6000;PORT=6001;ALLOW_LISTENING=0;ALLOW_PLAYLIST= 0;"
         "FORMAT=5",
         "239.1.2.3:6000 7 6001 off 0 5 "},
        {"CHANNEL=300;PORT=70000;ALLOW_LISTENING=no;ALLOW_PLAYLIST=2;FORMAT=x",
         "225.5.5.0:5145 44 5146 all 1 1 "},
        {"ALLOW_LISTENING=0;LISTENING=ask;ALLOWED=DESK@10.0.0.2,@10.0.0.3,X@1.2.3,A,D&k@10.0.0.4",
         "225.5.5.0:5145 100 5146 ask 1 1 DESK@10.0.0.2,D_k@10.0.0.4"},
        {"LISTENING=ASK", "225.5.5.0:5145 100 5146 all 1 1 "},
    };
    for (const auto& [ini, want] : rows)
        EXPECT_EQ(Load(ini), want) << ini;
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

struct AgentHandler : ::testing::Test {
    AgentSettings settings;
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
        {400, 2, 4001, "PING_OK", ""},
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
    for (const std::string_view text : {kNeedStream, kOpenStream, agent::kGetPlaylist}) {
        const auto a = off.OnDatagram(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                      {0x7F000002, 1}, 0);
        EXPECT_EQ(std::string(a.begin(), a.end()), "DENY") << text;
    }
    EXPECT_EQ(host.exports, 1);
}

TEST_F(AgentHandler, EachSenderHasItsShareAndACrowdMeetsTheCeiling) {
    // Answered of `times` requests from each of `senders` addresses from
    // `first` on, at `now`.
    const auto answered = [&](uint32_t now, uint32_t first, int senders, int times,
                              const char* text) {
        int n = 0;
        for (int i = 0; i < times; ++i)
            for (int a = 0; a < senders; ++a)
                n += !Ask(now, first + a, 9, text).empty();
        return n;
    };
    handler.SetInterfaces({{0x0A000001, 0xFFFF0000, true, true, false}});
    const int share = static_cast<int>(RequestHandler::kAnswersPerSender);
    int steady = 0, flooder = 0, crowd = 0;
    for (uint32_t ms = 0; ms < 3000; ms += 100) {
        flooder += answered(ms, 0x0A000002, 1, 30, "NEED_STREAM"); // 300 a second
        // From the second second on, 100 more computers ask ten times a second.
        crowd += ms >= 1000 ? answered(ms, 0x0A000100, 100, 1, "NEED_STREAM") : 0;
        steady += !Ask(ms, 0x0A00FF01, 9, "NEED_STREAM").empty(); // ten a second
    }
    EXPECT_EQ(steady, 30) << "a computer asking ten times a second";
    EXPECT_LE(flooder, 4 * share);
    const int mostPerSecond =
        SenderBudgets::kRoom * share + static_cast<int>(RequestHandler::kAnswersCeiling);
    EXPECT_LE(crowd, 2 * mostPerSecond) << "of 2000 in two seconds";
    // Playlists: a share of their own.
    EXPECT_EQ(answered(5000, 0x0A000002, 1, 10, "GET_PLAYLIST"),
              static_cast<int>(RequestHandler::kPlaylistsPerSender));
    EXPECT_EQ(host.exports, static_cast<int>(RequestHandler::kPlaylistsPerSender));
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

TEST_F(AgentHandler, AskingRefusesAComputerUntilTheUserAllowsItAndRevokingEndsItsStream) {
    settings.listening = ListeningMode::Ask;
    settings.allowed = {{"DESK", 0x7F000002}};
    RequestHandler asking(settings, host);
    const auto ask = [&](uint32_t from, const std::string& text) {
        const auto a = asking.OnDatagram(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                         {0x7F000000u + from, 7}, 0);
        return std::string(a.begin(), a.end());
    };
    asking.Names().Heard(0x7F000003, "STUDIO", "ann", 0);
    EXPECT_EQ(ask(2, "NEED_STREAM"), "OK") << "allowed, name not heard yet";
    EXPECT_EQ(ask(3, "NEED_STREAM"), "DENY");
    EXPECT_EQ(ask(3, "NEED_STREAM"), "DENY");
    EXPECT_EQ(ask(2, "OPEN_STREAM"), "OK~1");
    EXPECT_EQ(asking.TakeNotices(),
              (std::vector<Notice>{{Notice::Asking, 0x7F000003}, {Notice::Listening, 0x7F000002}}));
    EXPECT_TRUE(asking.Allow(0x7F000003));
    EXPECT_EQ(FormatAllowed(asking.Consents().Allowed()), "DESK@127.0.0.2,STUDIO@127.0.0.3");
    EXPECT_EQ(ask(3, "NEED_STREAM"), "OK");
    asking.Names().Heard(0x7F000002, "LAPTOP", "", 0); // another computer has DESK's address
    EXPECT_EQ(ask(2, "NEED_STREAM"), "DENY");
    std::vector<Endpoint> closed;
    EXPECT_TRUE(asking.Revoke(0x7F000002, closed));
    EXPECT_EQ(closed, (std::vector<Endpoint>{{0x7F000002, 7}}));
    EXPECT_TRUE(asking.Listeners().Empty());
}

TEST(AgentListeners, PingsEveryTwoSecondsAndCountsOnlyPromptAnswersFromTheListener) {
    ListenerTable t;
    const Endpoint a{1, 1}, b{2, 2};
    t.Add(a, 0);
    t.Add(b, 1000);
    std::vector<Endpoint> pings, dropped;
    // At `now`, "PING_OK" from `from` (none when its address is 0): whether it
    // counted, the pings due and the listeners dropped.
    const std::tuple<uint32_t, Endpoint, bool, std::vector<Endpoint>, std::vector<Endpoint>>
        script[] = {
            {1999, {}, false, {}, {}},     {2000, {}, false, {a}, {}},
            {2100, {1, 9}, false, {}, {}}, {2200, a, true, {}, {}}, // from its own port
            {2210, a, false, {}, {}},      {3000, {}, false, {b}, {}},
            {3251, b, false, {}, {}},      {4000, {}, false, {a}, {}}, // too late
            {6000, {}, false, {a, b}, {}}, {8000, {}, false, {a}, {b}},
            {9199, {}, false, {}, {}},     {9200, {}, false, {}, {a}},
        };
    for (const auto& [now, from, counts, wantPings, wantDropped] : script) {
        if (from.address) {
            EXPECT_EQ(t.Heard(from, now), counts) << now;
        }
        pings.clear();
        dropped.clear();
        t.Tick(now, pings, dropped);
        EXPECT_EQ(pings, wantPings) << now;
        EXPECT_EQ(dropped, wantDropped) << now;
    }
    t.Add(a, 0xFFFFF000u); // across the tick count's wrap
    EXPECT_EQ(t.MsUntilNext(0xFFFFF000u, 5000), kPingIntervalMs);
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
    EXPECT_EQ(names.Label(1) + "|" + names.Label(2) + "|" + names.Label(0x0A000109),
              "DESK (ben)|LAPTOP|10.0.1.9");
    for (uint32_t i = 0; i < NameBook::kRoom; ++i)
        names.Heard(100 + i, "X", "", i + 1);
    EXPECT_EQ(names.Computer(1) + names.Computer(2), "") << "the longest silent left";
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
    TrayState state{{{1, "DESK (ben)"}, {2, "192.168.1.20"}}, {}, {{3, "LAPTOP"}}};
    EXPECT_EQ(items(state), "0~DESK (ben) is listening|0~192.168.1.20 is listening|-|"
                            "1Stop sharing sound|3Exit|");
    EXPECT_EQ(TrayTip(state), "Orvela agent: 2 computers listen");
    state = {{}, {{4, "STUDIO"}}, {{3, "LAPTOP"}}, false, ListeningMode::Ask};
    EXPECT_EQ(items(state), "0~Sound is not shared|-|100Allow STUDIO|200Stop allowing LAPTOP|-|"
                            "2Share sound again|3Exit|");
    state.mode = ListeningMode::Off;
    EXPECT_EQ(items(state), "0~Listening is turned off in orvela_agent.ini|-|3Exit|");
}

} // namespace
