// The agent's rules: its settings, the answers to every request with the
// grant window, the listener bound and the answer budgets, the PING
// schedule, the presence packet as the browser reads it and the tray menu.
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
// the settings as "group userGroup port listening playlist format".
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
        bool PutString(const char*, const char*, const char*) override { return false; }
    } store;
    store.ini = ini;
    const AgentSettings s = LoadAgentSettings(store);
    return std::string(s.groupAddress) + " " + std::to_string(s.userGroup) + " " +
           std::to_string(s.requestPort) + " " + std::to_string(s.grantListening) + " " +
           std::to_string(s.grantPlaylist) + " " + std::to_string(s.streamFormat);
}

TEST(AgentSettings, GroupKeysAsTheBrowserReadsThemAndBadValuesGiveDefaults) {
    const std::pair<std::string, std::string> rows[] = {
        {"", "225.5.5.0:5145 100 5146 1 1 1"},
        {"CHANNEL=7;BROADCAST_IP=239.1.2.3:6000;PORT=6001;ALLOW_LISTENING=0;ALLOW_PLAYLIST= 0;"
         "FORMAT=5",
         "239.1.2.3:6000 7 6001 0 0 5"},
        {"CHANNEL=300;PORT=70000;ALLOW_LISTENING=no;ALLOW_PLAYLIST=2;FORMAT=x",
         "225.5.5.0:5145 44 5146 1 1 1"},
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

    // The answer to `text` from 127.0.0.<host>:<port> at `now`, as text.
    std::string Ask(uint32_t now, int from, uint16_t port, const std::string& text) {
        const auto answer = handler.OnDatagram(reinterpret_cast<const uint8_t*>(text.data()),
                                               text.size(), {0x7F000000u + from, port}, now);
        return std::string(answer.begin(), answer.end());
    }
};

TEST_F(AgentHandler, OnlyAGrantedOrListeningAddressOpensAStream) {
    const std::tuple<uint32_t, int, uint16_t, std::string, std::string> script[] = {
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
    settings.grantListening = settings.grantPlaylist = false;
    EXPECT_EQ(Ask(0, 3, 1, "NEED_STREAM"), "DENY");
    EXPECT_EQ(Ask(0, 2, 1, "OPEN_STREAM"), "DENY");
    EXPECT_EQ(Ask(0, 3, 1, "GET_PLAYLIST"), "DENY");
    EXPECT_EQ(host.exports, 1);
}

TEST_F(AgentHandler, AFloodOfRequestsGetsABoundedNumberOfAnswers) {
    const auto answered = [&](uint32_t now, const char* text, int times) {
        int n = 0;
        for (int i = 0; i < times; ++i)
            n += !Ask(now, 2 + i % 200, static_cast<uint16_t>(i), text).empty();
        return n;
    };
    EXPECT_EQ(answered(0, "GET_PLAYLIST", 10), static_cast<int>(RequestHandler::kPlaylistBurst));
    // Every request to be answered spends the whole budget's share.
    EXPECT_EQ(answered(0, "NEED_STREAM", 1000),
              static_cast<int>(RequestHandler::kAnswersPerSecond) - 10);
    EXPECT_EQ(answered(500, "NEED_STREAM", 1000), 25);
    EXPECT_EQ(answered(2000, "GET_PLAYLIST", 10), 3);
    EXPECT_EQ(host.exports, 6);
}

TEST(AgentListeners, PingsEveryTwoSecondsAndDropsAfterSevenSilentSeconds) {
    ListenerTable t;
    const Endpoint a{1, 1}, b{2, 2};
    t.Add(a, 0);
    t.Add(b, 1000);
    std::vector<Endpoint> pings, dropped;
    const std::tuple<uint32_t, bool, std::vector<Endpoint>, std::vector<Endpoint>> script[] = {
        {1999, false, {}, {}},  {2000, false, {a}, {}},    {2500, true, {}, {}},
        {3000, false, {b}, {}}, {6999, false, {a, b}, {}}, {8000, false, {}, {b}},
        {9499, false, {a}, {}}, {9500, false, {}, {a}},
    };
    for (const auto& [now, hearA, wantPings, wantDropped] : script) {
        if (hearA) t.Heard(a, now);
        pings.clear();
        dropped.clear();
        t.Tick(now, pings, dropped);
        EXPECT_EQ(pings, wantPings) << now;
        EXPECT_EQ(dropped, wantDropped) << now;
    }
    t.Add(a, 0xFFFFF000u); // across the tick count's wrap
    EXPECT_EQ(t.MsUntilNext(0xFFFFF000u, 5000), kPingIntervalMs);
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

TEST(AgentTrayMenu, ShowsWhoListensThenStopOrShareAgainAndExit) {
    const auto items = [](const std::vector<MenuEntry>& entries) {
        std::string out;
        for (const MenuEntry& e : entries)
            out += e.separator ? "-|" : std::to_string(e.id) + (e.greyed ? "~" : "") + e.text + "|";
        return out;
    };
    EXPECT_EQ(items(TrayMenuEntries({{0x7F000001, 9}, {0xC0A80114, 9}}, true, true)),
              "0~127.0.0.1 is listening|0~192.168.1.20 is listening|-|1Stop sharing sound|3Exit|");
    EXPECT_EQ(items(TrayMenuEntries({}, false, true)),
              "0~Sound is not shared|-|2Share sound again|3Exit|");
    EXPECT_EQ(items(TrayMenuEntries({}, true, false)),
              "0~Listening is turned off in orvela_agent.ini|-|3Exit|");
}

} // namespace
