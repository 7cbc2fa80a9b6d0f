// The presence receiver, the peer table and the list-view rows together,
// fed by the peer simulator over multicast inside the test's namespace.
#include "tests/windows/presence_harness.h"

#include <cstdint>
#include <string>
#include <vector>

#include "peers/presence.h"
#include "tests/common/packet_bytes.h"
#include "wire/tagged_packet.h"

namespace presence_test {
namespace {

using test_packets::Bytes;
using test_packets::Packet;

std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::vector<std::string> Announce(const std::string& src, const std::string& comp,
                                  const std::string& user, const std::string& title) {
    return {"--count", "1",          "--peer", "--src",  src,
            "--comp",  comp,         "--user", user,     "--title",
            title,     "--req-port", "5146",   "--path", "D:\\Music\\nowhere.mp3"};
}

TEST_F(PresenceTest, FirstRunListsAComputerAndRedrawsItsRowOnlyWhenItsTextsChange) {
    PresenceWindow w;
    ASSERT_STREQ(w.settings.groupAddress, "225.5.5.0:5145");
    ASSERT_EQ(w.settings.userGroup, 100);
    ASSERT_EQ(w.Start(), 0);
    const char* pc = "127.0.0.2";

    // The simulator's own default is the group of user group 100.
    ASSERT_TRUE(RunPeersim(Announce(pc, "PC7", "ann", "Song one")));
    ASSERT_TRUE(w.WaitHeard(pc, 1));
    ASSERT_EQ(w.rows->Count(), 1);
    EXPECT_EQ(w.Cell(pc, "COL_COMP_NAME"), "PC7");
    EXPECT_EQ(w.Cell(pc, "COL_USER_NAME"), "ann");
    EXPECT_EQ(w.Cell(pc, "COL_TITLE"), "Song one");
    EXPECT_EQ(w.Cell(pc, "COL_SHARED"), "No");
    EXPECT_EQ(w.Record(pc)->port, 5146);
    ASSERT_TRUE(PumpUntil([&] { return w.Paints(pc) > 0; }, 10000)) << "the row was never painted";
    w.Settle();
    const int painted = w.Paints(pc);

    // Same user name, title and path; only the computer name differs: the
    // record takes it, but the row is neither rewritten nor redrawn.
    ASSERT_TRUE(RunPeersim(Announce(pc, "PC7-B", "ann", "Song one")));
    ASSERT_TRUE(w.WaitHeard(pc, 2));
    w.Settle();
    EXPECT_EQ(w.Paints(pc), painted) << "an unchanged announcement redrew the row";
    EXPECT_STREQ(w.Record(pc)->computerName, "PC7-B");
    EXPECT_EQ(w.Cell(pc, "COL_COMP_NAME"), "PC7");

    // A new title rewrites the same row and redraws it.
    ASSERT_TRUE(RunPeersim(Announce(pc, "PC7-B", "ann", "Song two")));
    ASSERT_TRUE(w.WaitHeard(pc, 3));
    EXPECT_EQ(w.rows->Count(), 1);
    EXPECT_EQ(w.Cell(pc, "COL_TITLE"), "Song two");
    EXPECT_EQ(w.Cell(pc, "COL_COMP_NAME"), "PC7-B");
    EXPECT_TRUE(PumpUntil([&] { return w.Paints(pc) > painted; }, 10000))
        << "the changed row was not redrawn";

    w.Settle();
    const int settled = w.Paints(pc);
    w.rows->RedrawVisibleRows();
    EXPECT_TRUE(PumpUntil([&] { return w.Paints(pc) > settled; }, 10000))
        << "a visible row was not redrawn on request";
}

TEST_F(PresenceTest, SilentComputerGoesWhileAnAnnouncingOneStays) {
    PresenceWindow w;
    ASSERT_EQ(w.Start(), 0);
    const char* keeps = "127.0.0.2";
    const char* silent = "127.0.0.3";
    ShellJob sim;
    ASSERT_TRUE(StartPeersim(sim, {"--interval", "500", "--count", "60", "--duration", "30000",
                                   "--peer", "--src", keeps, "--comp", "KEEPS", "--peer", "--src",
                                   silent, "--comp", "SILENT", "--stop", "1000"}));
    ASSERT_TRUE(PumpUntil([&] { return w.Row(keeps) >= 0 && w.Row(silent) >= 0; }, 15000))
        << sim.Output();
    w.activeRow = w.Row(silent);

    uint32_t lastHeard = 0;
    const bool gone = PumpUntil(
        [&] {
            const PeerRecord* r = w.Record(silent);
            if (r) lastHeard = r->lastHeard;
            return r == nullptr;
        },
        30000);
    const uint32_t goneAt = GetTickCount();
    ASSERT_TRUE(gone) << "the silent computer stayed listed";
    EXPECT_GE(goneAt - lastHeard, wire::kPresenceTimeoutMs) << "removed before 4 s of silence";
    EXPECT_TRUE(w.overdue.empty()) << "kept past the first tick after 4 s of silence";
    EXPECT_EQ(w.activeRow, -1) << "the removed row was the activated one";

    // Two more age-out ticks while the other computer keeps announcing.
    const int ticks = w.ticks;
    const int heard = w.Heard(keeps);
    ASSERT_TRUE(PumpUntil([&] { return w.ticks >= ticks + 2 || w.Row(keeps) < 0; }, 15000));
    EXPECT_GT(w.Heard(keeps), heard) << "the simulator stopped too early for this check";
    EXPECT_GE(w.Row(keeps), 0) << "an announcing computer was removed";
    EXPECT_EQ(w.rows->Count(), 1);
    EXPECT_TRUE(w.overdue.empty());
    sim.RequestStop();
    EXPECT_TRUE(sim.Wait(15000));
}

TEST_F(PresenceTest, OwnDatagramsListNothing) {
    PresenceWindow w;
    ASSERT_EQ(w.Start(), 0);
    const uint32_t local = ntohl(w.receiver.LocalAddress());
    ASSERT_NE(local, 0u) << "this computer's address was not looked up";
    char own[kPeerAddressRoom];
    FormatIpv4(local, own);
    if (local >> 24 != 127) GTEST_SKIP() << "own address " << own << " is not on loopback";

    const char* other = "127.0.0.2";
    ASSERT_TRUE(RunPeersim({"--interval", "100", "--count", "3", "--peer", "--src", own, "--comp",
                            "ME", "--peer", "--src", other, "--comp", "OTHER"}));
    // Each round sends ours first, so the other's third means ours all came.
    ASSERT_TRUE(w.WaitHeard(other, 3));
    EXPECT_EQ(w.Heard(own), 0) << own;
    EXPECT_LT(w.Row(own), 0);
    EXPECT_EQ(w.rows->Count(), 1);
}

TEST_F(PresenceTest, OnlyTheJoinedUserGroupIsHeard) {
    PresenceWindow w([](CBrowserSettings& s) {
        std::snprintf(s.groupAddress, sizeof s.groupAddress, "239.1.2.3:6000");
        s.userGroup = 12;
    });
    ASSERT_EQ(w.Start(), 0);
    auto send = [](const char* group, const char* src) {
        return RunPeersim({"--group", group, "--port", "6000", "--count", "2", "--interval", "100",
                           "--peer", "--src", src, "--comp", src});
    };

    ASSERT_TRUE(send("239.1.2.13", "127.0.0.3"));
    ASSERT_TRUE(send("239.1.2.12", "127.0.0.2"));
    ASSERT_TRUE(w.WaitHeard("127.0.0.2", 2));
    EXPECT_EQ(w.Heard("127.0.0.3"), 0) << "another user group was heard";
    EXPECT_EQ(w.rows->Count(), 1);

    ASSERT_EQ(w.ChangeUserGroup(13), 0);
    EXPECT_EQ(w.rows->Count(), 0);
    ASSERT_TRUE(send("239.1.2.12", "127.0.0.4"));
    ASSERT_TRUE(send("239.1.2.13", "127.0.0.5"));
    ASSERT_TRUE(w.WaitHeard("127.0.0.5", 2));
    EXPECT_EQ(w.Heard("127.0.0.4"), 0) << "the old user group is still heard";
    EXPECT_EQ(w.Row("127.0.0.2"), -1);
    EXPECT_EQ(w.rows->Count(), 1);
}

TEST_F(PresenceTest, ThePortIsSharedWithTheAgentAndAPortHeldAloneIsTriedAgainAtTheTick) {
    // A program that holds the port alone keeps the receiver from binding it
    // (a socket asking to share cannot bind over one that did not ask);
    // once it lets go, a tick of the receiver joins.
    const auto holder = [](BOOL reuse) {
        UniqueSocket s(socket(AF_INET, SOCK_DGRAM, 0));
        setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   sizeof reuse);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(5145);
        return bind(s.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 ? std::move(s)
                                                                               : UniqueSocket();
    };
    UniqueSocket alone = holder(FALSE);
    ASSERT_TRUE(alone);
    PresenceWindow w;
    EXPECT_NE(w.Start(), 0);
    alone.Reset();
    ASSERT_TRUE(RunPeersim(Announce("127.0.0.2", "PC7", "ann", "a")));
    EXPECT_EQ(w.Heard("127.0.0.2"), 0);
    PumpFor(2 * kPresenceTickMs);
    // Now shared, as the agent shares it: both are bound, the receiver hears.
    UniqueSocket agent = holder(TRUE);
    EXPECT_TRUE(agent) << "the receiver's socket does not share its port";
    ASSERT_TRUE(RunPeersim(Announce("127.0.0.2", "PC7", "ann", "b")));
    EXPECT_TRUE(w.WaitHeard("127.0.0.2", 1, 5000)) << "the tick did not join";
}

TEST_F(PresenceTest, BadDatagramsNeverLeaveAGarbageRow) {
    PresenceWindow w;
    ASSERT_EQ(w.Start(), 0);

    Bytes lengthMismatch = Packet({{2, "MISMATCH"}});
    lengthMismatch[0] += 1;
    // 1025 bytes whose first 1024 form a whole packet: only a receiver that
    // took a truncated read for a datagram would list it.
    Bytes oversize = Packet({{2, "OVERSIZE" + std::string(1011, 'x')}});
    oversize.push_back('!');
    const Bytes largest = Packet({{2, "LARGEST"}, {5, std::string(1009, 't')}});
    struct Case {
        const char* src;
        Bytes bytes;
        bool listed;
    } cases[] = {
        {"127.0.0.2", lengthMismatch, false},
        {"127.0.0.3", oversize, false},
        {"127.0.0.4", {0x05, 0x00, 0x02, 0x00, 0x02}, false},                  // field below 3
        {"127.0.0.5", {0x08, 0x00, 0x09, 0x00, 0x02, 'a', 'b', 'c'}, false},   // past the end
        {"127.0.0.6", {0x00, 0x00}, false},                                    // claims nothing
        {"127.0.0.7", Packet({{2, "PORT"}, {3, std::string(30, '9')}}), true}, // 30 digits
        {"127.0.0.8",
         Packet({{1, std::string(150, 'u')},
                 {2, std::string(120, 'c')},
                 {5, std::string(400, 't')},
                 {6, std::string(300, 'p')}}),
         true},                            // overlong
        {"127.0.0.9", {0x02, 0x00}, true}, // no tags
        {"127.0.0.10", largest, true},
        {"127.0.0.11", Packet({{2, "LAST"}}), true},
    };
    ASSERT_EQ(oversize.size(), 1025u);
    ASSERT_EQ(oversize[0] | oversize[1] << 8, 1024);
    ASSERT_EQ(largest.size(), 1024u);

    std::vector<std::string> args = {"--count", "1"};
    for (const Case& c : cases)
        args.insert(args.end(), {"--peer", "--src", c.src, "--raw", Hex(c.bytes)});
    ASSERT_TRUE(RunPeersim(args));
    ASSERT_TRUE(w.WaitHeard("127.0.0.11", 1));

    for (const Case& c : cases) {
        EXPECT_EQ(w.Row(c.src) >= 0, c.listed) << c.src;
        EXPECT_EQ(w.Heard(c.src), c.listed ? 1 : 0) << c.src;
    }
    EXPECT_EQ(w.rows->Count(), 5);

    EXPECT_EQ(w.Cell("127.0.0.7", "COL_COMP_NAME"), "PORT");
    // The first 19 digits, held at the top of the 32-bit range, low 16 bits.
    EXPECT_EQ(w.Record("127.0.0.7")->port, 0xFFFF);

    EXPECT_EQ(w.Cell("127.0.0.8", "COL_USER_NAME"), std::string(99, 'u'));
    EXPECT_EQ(w.Cell("127.0.0.8", "COL_COMP_NAME"), std::string(99, 'c'));
    EXPECT_EQ(std::string(w.Record("127.0.0.8")->title), std::string(259, 't'));
    EXPECT_EQ(std::string(w.Record("127.0.0.8")->sharedPath), std::string(259, 'p'));
    EXPECT_EQ(w.Cell("127.0.0.8", "COL_SHARED"), "No");

    for (const char* key : {"COL_COMP_NAME", "COL_USER_NAME", "COL_TITLE"})
        EXPECT_EQ(w.Cell("127.0.0.9", key), "") << key;
    EXPECT_EQ(w.Cell("127.0.0.9", "COL_SHARED"), "No");
    EXPECT_EQ(w.Record("127.0.0.9")->port, 0);

    EXPECT_EQ(w.Cell("127.0.0.10", "COL_COMP_NAME"), "LARGEST");
    EXPECT_EQ(w.Cell("127.0.0.10", "COL_TITLE"), std::string(259, 't'));
}

} // namespace
} // namespace presence_test
