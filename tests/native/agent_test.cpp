// The agent's rules: its settings and command line, the answers to every
// request with the grant window, the listener bound and the answer budgets,
// the PING schedule, the presence packet as the browser reads it, the
// playlist from the now-playing block and the tray menu.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "agent/announce.h"
#include "agent/options.h"
#include "agent/request_handler.h"
#include "agent/tray_menu.h"
#include "net/presence.h"
#include "tests/native/fake_player.h"
#include "tests/native/fake_store.h"

namespace {

using namespace agent;

TEST(AgentSettings, GroupKeysAsTheBrowserReadsThemAndBadValuesGiveDefaults) {
    using Ini = std::map<std::string, std::string>;
    const std::tuple<Ini, std::string, int, int, bool, bool, int> rows[] = {
        {{}, "225.5.5.0:5145", 100, 5146, true, true, 1},
        {{{"CHANNEL", "7"},
          {"BROADCAST_IP", "239.1.2.3:6000"},
          {"PORT", "6001"},
          {"ALLOW_LISTENING", "0"},
          {"ALLOW_PLAYLIST", " 0"},
          {"FORMAT", "5"}},
         "239.1.2.3:6000",
         7,
         6001,
         false,
         false,
         5},
        {{{"CHANNEL", "300"},
          {"PORT", "0"},
          {"ALLOW_LISTENING", "no"},
          {"ALLOW_PLAYLIST", "2"},
          {"FORMAT", "6"}},
         "225.5.5.0:5145",
         44,
         5146,
         true,
         true,
         1},
        {{{"PORT", "70000"}, {"ALLOW_LISTENING", ""}, {"FORMAT", "x"}},
         "225.5.5.0:5145",
         100,
         5146,
         true,
         true,
         1},
    };
    for (const auto& [ini, group, userGroup, port, listen, playlist, format] : rows) {
        FakeStore store;
        for (const auto& [key, value] : ini)
            store.values["MAIN/" + key] = value;
        const AgentSettings s = LoadAgentSettings(store);
        EXPECT_EQ(s.groupAddress, group);
        EXPECT_EQ(s.userGroup, userGroup);
        EXPECT_EQ(s.requestPort, port);
        EXPECT_EQ(s.grantListening, listen);
        EXPECT_EQ(s.grantPlaylist, playlist);
        EXPECT_EQ(s.streamFormat, format);
    }
    EXPECT_EQ(AgentSettingsPath("C:\\Orvela\\orvela_agent.exe"), "C:\\Orvela\\orvela_agent.ini");
    EXPECT_EQ(AgentSettingsPath("orvela_agent.exe"), "");
}

TEST(AgentOptions, AddressesAreDottedAndEveryValueIsChecked) {
    using Args = std::vector<std::string>;
    const std::tuple<Args, bool, uint32_t, uint32_t, uint32_t> rows[] = {
        {{}, true, 0, 0, 0},
        {{"--bind", "127.0.0.3", "--exit-after", "60000"}, true, 0x7F000003, 0x7F000003, 60000},
        {{"--bind", "127.0.0.3", "--multicast-if", "127.0.0.1"}, true, 0x7F000003, 0x7F000001, 0},
        {{"--bind", "127.0.0"}, false, 0, 0, 0},
        {{"--exit-after", "-5"}, false, 0, 0, 0},
        {{"--wav"}, false, 0, 0, 0},
        {{"--loud", "1"}, false, 0, 0, 0},
    };
    for (const auto& [args, ok, bind, via, exitAfter] : rows) {
        AgentOptions o;
        std::string error;
        ASSERT_EQ(ParseAgentOptions(args, o, error), ok) << error;
        EXPECT_EQ(error.empty(), ok);
        if (!ok) continue;
        EXPECT_EQ(o.bind, bind);
        EXPECT_EQ(o.multicastInterface, via);
        EXPECT_EQ(o.exitAfterMs, exitAfter);
    }
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
    ASSERT_EQ(handler.Listeners().All().size(), 2u);
    EXPECT_EQ(handler.Listeners().All()[0].to, (Endpoint{0x7F000002, 4002}));
    EXPECT_EQ(handler.Listeners().All()[1].to, (Endpoint{0x7F000004, 2}));
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
    EXPECT_EQ(answered(0, "PING_OK", 1000), 0);
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
    EXPECT_TRUE(t.Empty());
    t.Add(a, 0xFFFFF000u); // across the tick count's wrap
    EXPECT_EQ(t.MsUntilNext(0xFFFFF000u, 5000), kPingIntervalMs);
    EXPECT_FALSE(t.Remove(b));
    EXPECT_TRUE(t.Remove(a));
}

TEST(AgentPresence, TheBrowsersReaderTakesThePacketWithTextsCutToItsRecord) {
    PresenceInfo info{"STUDIO", std::string(150, 'u'), 5146, "Take Five", "D:\\Music\\a.mp3"};
    auto bytes = BuildPresencePacket(info);
    auto record = ReadPresenceDatagram(bytes.data(), bytes.size(), 0x7F000003, 0x7F000001);
    ASSERT_TRUE(record);
    EXPECT_STREQ(record->computerName, "STUDIO");
    EXPECT_EQ(std::string(record->userName), std::string(99, 'u'));
    EXPECT_EQ(record->port, 5146);
    EXPECT_STREQ(record->title, "Take Five");
    EXPECT_STREQ(record->sharedPath, "D:\\Music\\a.mp3");
    info.title = info.file = std::string(5000, 't');
    EXPECT_LE(BuildPresencePacket(info).size(), 1024u);
    info.title = info.file = "";
    bytes = BuildPresencePacket(info);
    record = ReadPresenceDatagram(bytes.data(), bytes.size(), 0x7F000003, 0x7F000001);
    ASSERT_TRUE(record);
    EXPECT_STREQ(record->title, "");
    EXPECT_EQ(bytes.size(), 2u + (6 + 3) + (99 + 3) + (4 + 3))
        << "fields without text are left out";
}

TEST(AgentNowPlaying, PlaylistAnswerIsThePacketThePlayerWroteWhenItHoldsTogether) {
    FakePlayer player;
    player.playlist = {{"C:\\Music\\a.mp3", "A"}, {"C:\\Music\\b.mp3", "B"}};
    auto block = std::make_unique<NowPlayingBlock>();
    InitNewBlock(*block);
    ExportPlaylist(block.get(), player);
    std::vector<uint8_t> packet;
    ASSERT_TRUE(PlaylistPacket(*block, packet));
    EXPECT_EQ(packet, std::vector<uint8_t>(block->playlistPacket,
                                           block->playlistPacket + block->playlistSize));
    std::strcpy(block->title, "A");
    std::string title, file;
    NowPlayingTexts(*block, title, file);
    EXPECT_EQ(title, "A");
    EXPECT_EQ(file, "");
    for (uint32_t size : {0u, 1u, block->playlistSize - 1, 5121u}) {
        auto bad = std::make_unique<NowPlayingBlock>(*block);
        bad->playlistSize = size;
        EXPECT_FALSE(PlaylistPacket(*bad, packet)) << size;
    }
    block->playlistPacket[2] = 1; // a first field shorter than its header
    EXPECT_FALSE(PlaylistPacket(*block, packet));
}

TEST(AgentTrayMenu, ShowsWhoListensThenStopOrShareAgainAndExit) {
    using Item = std::tuple<unsigned, std::string, bool, bool>;
    const auto items = [](const std::vector<MenuEntry>& entries) {
        std::vector<Item> out;
        for (const MenuEntry& e : entries)
            out.emplace_back(e.id, e.text, e.greyed, e.separator);
        return out;
    };
    EXPECT_EQ(items(TrayMenuEntries({{0x7F000001, 9}, {0xC0A80114, 9}}, true)),
              (std::vector<Item>{{0, "127.0.0.1 is listening", true, false},
                                 {0, "192.168.1.20 is listening", true, false},
                                 {0, "", false, true},
                                 {kStopSharingCommand, "Stop sharing sound", false, false},
                                 {kExitCommand, "Exit", false, false}}));
    EXPECT_EQ(items(TrayMenuEntries({}, false)),
              (std::vector<Item>{{0, "Sound is not shared", true, false},
                                 {0, "", false, true},
                                 {kShareAgainCommand, "Share sound again", false, false},
                                 {kExitCommand, "Exit", false, false}}));
    EXPECT_EQ(TrayTip(2, true), "Orvela agent: 2 computers listen");
}

} // namespace
