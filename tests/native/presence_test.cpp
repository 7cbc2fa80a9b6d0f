#include "peers/presence.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/common/packet_bytes.h"
#include "wire/tagged_packet.h"

namespace {

using test_packets::Bytes;
using test_packets::Packet;

const Bytes kWorkedExample = {0x15, 0x00, 0x06, 0x00, 0x02, 'P',  'C', '7', 0x06, 0x00, 0x01,
                              'a',  'n',  'n',  0x07, 0x00, 0x03, '5', '1', '4',  '6'};
constexpr uint32_t kPeer = 0xC0A80114; // 192.168.1.20
constexpr uint32_t kSelf = 0x7F000001;

TEST(PresenceGroup, FromTheAddressTextAndTheUserGroup) {
    const struct {
        const char* text;
        uint8_t userGroup;
        const char* group;
        uint16_t port;
    } cases[] = {
        {"225.5.5.0:5145", 100, "225.5.5.100", 5145},
        {"225.5.5.0:5145", 7, "225.5.5.7", 5145},
        {"239.1.2.3:6000", 12, "239.1.2.12", 6000},
        {"239.1.2.3:0", 12, "239.1.2.12", 5145},
        {"239.1.2.3:x", 12, "239.1.2.12", 5145},
        {"239.1.2.3", 12, "225.5.5.12", 5145}, // no colon: neither part
        {"239.1.2.3:-1", 1, "239.1.2.1", 65535},
        {"239.1.2.3: 6001abc", 1, "239.1.2.1", 6001},
        {"239.1.2.3:0000006000", 1, "239.1.2.1", 5145}, // port part over 9 characters
        // Unusable hosts: a name, no dots, too few or many parts, octal to
        // the platform, a part above 255, longer than 19 characters.
        {"host.example:6000", 9, "225.5.5.9", 6000},
        {"3735928559:6000", 9, "225.5.5.9", 6000},
        {"239.1.2:6000", 9, "225.5.5.9", 6000},
        {"239.1.2.3.4:6000", 9, "225.5.5.9", 6000},
        {"239.01.2.3:6000", 9, "225.5.5.9", 6000},
        {"239.1.256.3:6000", 9, "225.5.5.9", 6000},
        {"0239.001.002.003:6000", 9, "225.5.5.9", 6000},
    };
    for (const auto& c : cases) {
        const PresenceGroup g = ComputePresenceGroup(c.text, c.userGroup);
        EXPECT_STREQ(g.text, c.group) << c.text;
        uint32_t expected = 0;
        ASSERT_TRUE(ParseDottedIpv4(c.group, expected));
        EXPECT_EQ(g.address, expected) << c.text;
        EXPECT_EQ(g.port, c.port) << c.text;
    }
}

TEST(ParsePresence, WorkedExampleAndOwnDatagrams) {
    auto r = ReadPresenceDatagram(kWorkedExample.data(), kWorkedExample.size(), kPeer, kSelf);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r->computerName, "PC7");
    EXPECT_STREQ(r->userName, "ann");
    EXPECT_EQ(r->port, 5146);
    EXPECT_STREQ(r->address, "192.168.1.20");
    EXPECT_STREQ(r->title, "");
    EXPECT_STREQ(r->sharedPath, "");

    EXPECT_EQ(ReadPresenceDatagram(kWorkedExample.data(), 21, kSelf, kSelf), nullptr);
    EXPECT_NE(ReadPresenceDatagram(kWorkedExample.data(), 21, kSelf, 0), nullptr)
        << "own address not looked up yet";

    // A computer with a second interface (a VPN, say) hears itself on both.
    OwnAddresses own;
    own.Add(kSelf);
    own.Add(0x0A000001);
    for (uint32_t source : {kSelf, 0x0A000001u})
        EXPECT_EQ(ReadPresenceDatagram(kWorkedExample.data(), 21, source, own), nullptr) << source;
    EXPECT_NE(ReadPresenceDatagram(kWorkedExample.data(), 21, 0x0A000002, own), nullptr);
}

// The read loop on a fake socket: what waits, what each read costs.
TEST(ReadWaitingDatagrams, EveryTurnReadsAllThatWaitsUpToItsBound) {
    using R = ReadOutcome;
    const struct {
        std::vector<R> socket; // what successive reads give; Empty once used up
        uint32_t msPerRead;
        size_t reads; // reads made in one turn
        bool more;    // the turn asks for another
    } cases[] = {
        {{R::Taken, R::Taken, R::Taken}, 0, 4, false},
        {{R::Taken, R::Dropped, R::Taken}, 0, 4, false}, // a bad datagram stops nothing
        {{R::Taken, R::Failed, R::Taken}, 0, 2, false},  // the tick tries a failed socket again
        {{}, 0, 1, false},
        {std::vector<R>(200, R::Taken), 0, kReadsPerTurn, true},
        {std::vector<R>(kReadsPerTurn, R::Taken), 0, kReadsPerTurn, true},
        {std::vector<R>(20, R::Taken), 3, 3, true}, // slow reads end the turn early
    };
    for (const auto& c : cases) {
        size_t reads = 0;
        uint32_t now = 0;
        const bool more = ReadWaitingDatagrams(
            [&] {
                now += c.msPerRead;
                return reads < c.socket.size() ? c.socket[reads++] : (++reads, R::Empty);
            },
            [&] { return now; });
        EXPECT_EQ(reads, c.reads) << c.socket.size();
        EXPECT_EQ(more, c.more) << c.socket.size();
    }
}

TEST(GroupMemberships, InterfacesThatComeUpAreJoinedOnceAndAgainAfterTheyWent) {
    GroupMemberships m;
    const uint32_t lan = 0x0A000001, vpn = 0x0A080001;
    EXPECT_EQ(m.ToJoin({lan, lan}), std::vector<uint32_t>{lan});
    m.Joined(lan);
    EXPECT_EQ(m.ToJoin({lan}), std::vector<uint32_t>{});
    EXPECT_EQ(m.ToJoin({lan, vpn}), std::vector<uint32_t>{vpn});
    // Not joined (it failed): asked again at the next check.
    EXPECT_EQ(m.ToJoin({lan, vpn}), std::vector<uint32_t>{vpn});
    m.Joined(vpn);
    EXPECT_EQ(m.ToJoin({vpn}), std::vector<uint32_t>{});
    EXPECT_EQ(m.Count(), 1u);
    EXPECT_EQ(m.ToJoin({lan, vpn}), std::vector<uint32_t>{lan});
}

TEST(ParsePresence, DatagramsThatAreRefused) {
    Bytes trailing = kWorkedExample;
    trailing.push_back(0);
    const Bytes cases[] = {
        trailing, // header says 21, 22 received
        Bytes(kWorkedExample.begin(), kWorkedExample.end() - 1),
        {0x15},                                        // no room for the header
        {0x00, 0x00},                                  // claims 0 bytes
        {0x05, 0x00, 0x02, 0x00, 0x01},                // field length below 3
        {0x05, 0x00, 0x00, 0x00, 0x01},                // field length 0: would never advance
        {0x08, 0x00, 0x09, 0x00, 0x01, 'a', 'b', 'c'}, // field past the end
        Packet({{5, std::string(1020, 'T')}}),         // 1025 bytes
    };
    for (const Bytes& b : cases) {
        PeerRecord r;
        EXPECT_FALSE(ParsePresence(r, b.data(), b.size())) << b.size();
    }
    PeerRecord r;
    const Bytes largest = Packet({{5, std::string(1019, 'T')}});
    EXPECT_TRUE(ParsePresence(r, largest.data(), largest.size()));
}

TEST(ParsePresence, TextsAreCutToFitAndAlwaysTerminated) {
    const Bytes b = Packet({{1, std::string(120, 'u')},
                            {2, std::string(100, 'c')},
                            {5, std::string("abc\0hidden", 10)},
                            {6, std::string(300, 'p')},
                            {6, "the second path is ignored"},
                            {3, std::string(30, '9')}});
    PeerRecord r;
    std::memset(static_cast<void*>(&r), 0x5A, sizeof r); // nothing old may show through
    ASSERT_TRUE(ParsePresence(r, b.data(), b.size()));
    EXPECT_EQ(std::string(r.userName), std::string(99, 'u'));
    EXPECT_EQ(std::string(r.computerName), std::string(99, 'c'));
    EXPECT_EQ(std::string(r.sharedPath), std::string(259, 'p'));
    EXPECT_EQ(std::string(r.title, sizeof r.title), "abc" + std::string(257, '\0'));
    // 30 digits: the first 19 are read, held at 2^31 - 1, low 16 bits kept.
    EXPECT_EQ(r.port, 0xFFFF);

    // No tags at all: an empty record that only carries its sender.
    const Bytes empty = {0x02, 0x00};
    auto e = ReadPresenceDatagram(empty.data(), empty.size(), kPeer, kSelf);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->computerName, "");
    EXPECT_EQ(e->port, 0);
}

TEST(PostedRecords, OneMessageAtATimeDeliversTheOldestRecords) {
    PostedRecords posted;
    const auto key = [](const PeerRecord* r) { return reinterpret_cast<uintptr_t>(r); };
    const auto from = [](int i) {
        auto r = std::make_unique<PeerRecord>();
        std::snprintf(r->address, sizeof r->address, "10.0.0.%d", i);
        return r;
    };
    EXPECT_EQ(posted.ToPost(), nullptr) << "nothing waits";
    posted.Keep(from(1));
    PeerRecord* message = posted.ToPost();
    ASSERT_NE(message, nullptr);
    for (int i = 2; i <= 20; ++i)
        posted.Keep(from(i));
    EXPECT_EQ(posted.ToPost(), nullptr) << "a message is already on its way";
    PeerRecord foreign; // ASan: freeing it would fail the test
    EXPECT_FALSE(posted.Claim(key(&foreign)));
    ASSERT_TRUE(posted.Claim(key(message)));
    EXPECT_FALSE(posted.Claim(key(message))) << "claimed twice";
    EXPECT_STREQ(posted.Take()->address, "10.0.0.1");
    EXPECT_STREQ(posted.Take()->address, "10.0.0.2");

    // The rest go with the next message; a failed post is asked again.
    ASSERT_NE(posted.ToPost(), nullptr);
    posted.NotPosted();
    message = posted.ToPost();
    EXPECT_TRUE(posted.Claim(key(message)));
    while (posted.Take()) {
    }
    EXPECT_EQ(posted.ToPost(), nullptr);

    // A computer's newer announcement updates its record still waiting.
    posted.Keep(from(7));
    message = posted.ToPost();
    auto newer = from(7);
    std::strcpy(newer->title, "newer");
    posted.Keep(std::move(newer));
    EXPECT_EQ(posted.Waiting(), 1u);
    EXPECT_TRUE(posted.Claim(key(message)));
    EXPECT_STREQ(posted.Take()->title, "newer");

    // A window that takes none: kLimit wait, the rest are dropped.
    posted.Keep(from(0));
    message = posted.ToPost();
    for (size_t i = 1; i <= PostedRecords::kLimit; ++i)
        posted.Keep(from(static_cast<int>(i)));
    EXPECT_EQ(posted.Waiting(), PostedRecords::kLimit);
    posted.Clear(); // a closed socket's records
    EXPECT_FALSE(posted.Claim(key(message)));
    EXPECT_EQ(posted.Take(), nullptr);
}

} // namespace
