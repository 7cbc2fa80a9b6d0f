// What the browser makes of a peer's answers, the stream location it writes,
// and the browser's commands as data: row order, menus, the user group.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "browser/commands.h"
#include "browser/sorting.h"
#include "peers/requests.h"
#include "wire/location.h"
#include "wire/tagged_packet.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

// A playlist packet: field 0 the count text, then (tag, entry) pairs.
std::vector<uint8_t> Playlist(const std::string& count,
                              const std::vector<std::pair<uint8_t, std::string>>& entries) {
    CTaggedPacket p;
    p.AddField(0, count.data(), static_cast<uint16_t>(count.size()));
    for (const auto& [tag, text] : entries)
        p.AddField(tag, text.data(), static_cast<uint16_t>(text.size()));
    std::vector<uint8_t> out(p.GetSize());
    p.Serialize(out.data());
    return out;
}

// Entries under \\PEER\Music are reachable, and reach as that name.
std::string Reach(const char* entry, const char* peer) {
    const std::string local = std::string("D:\\Music\\") + (std::strrchr(entry, '\\') + 1);
    if (std::strncmp(entry, "D:\\Music\\", 9) == 0 && std::string(peer) == "JOHN-PC")
        return "\\\\JOHN-PC\\Music\\" + local.substr(9);
    return std::strncmp(entry, "\\\\", 2) == 0 && std::strstr(entry, "ok") ? entry : "";
}

// An answer read, then its entries reached as the browser's prober does.
PlaylistOutcome Read(const std::vector<uint8_t>& answer) {
    PlaylistOutcome read = ReadPlaylistAnswer(answer.data(), answer.size(), "JOHN-PC");
    if (read.kind != PlaylistOutcome::Kind::Import) return read;
    std::vector<std::string> reached;
    for (const std::string& entry : read.entries)
        reached.push_back(Reach(entry.c_str(), "JOHN-PC"));
    return KeepReachedEntries(reached, "JOHN-PC");
}

} // namespace

TEST(Requests, DisplayNames) {
    EXPECT_EQ(DisplayName("JOHN-PC"), "John-pc");
    EXPECT_EQ(DisplayName("1STFLOOR"), "1stfloor");
    EXPECT_EQ(DisplayName(std::string(120, 'A').c_str()).size(), 99u);
    EXPECT_EQ(RefusalMessage("JOHN-PC"), "John-pc doesn't permit sound transmission!");
    EXPECT_EQ(PermissionErrorMessage(10060), "Error on getting permission. Error = 10060");
}

TEST(Requests, PlaylistAnswers) {
    using Kind = PlaylistOutcome::Kind;
    PlaylistOutcome o = Read(Bytes("DENY"));
    EXPECT_EQ(o.kind, Kind::Refused);
    EXPECT_EQ(o.message, "John-pc doesn't permit playlist tramsmission");
    o = Read(Bytes("PLAYLIST_ERROR"));
    EXPECT_EQ(o.kind, Kind::NoPlaylist);
    EXPECT_EQ(o.message, "Error on getting play list.\nMay be winamp on john-pc is not started");

    // Only present, reachable entries, in tag order, under the name that reached them.
    o = Read(Playlist("4", {{3, "\\\\srv\\ok.mp3"}, {1, "D:\\Music\\a.mp3"}, {2, "C:\\x\\b.mp3"}}));
    EXPECT_EQ(o.kind, Kind::Import);
    EXPECT_EQ(o.entries,
              (std::vector<std::string>{"\\\\JOHN-PC\\Music\\a.mp3", "\\\\srv\\ok.mp3"}));
    EXPECT_TRUE(o.message.empty());

    // No count, a zero or unreadable count, nothing reachable, a name too long
    // for the player, "deny" in another case: nothing shared.
    const std::string longName = "D:\\Music\\" + std::string(240, 'x'); // 256 once reached
    for (const auto& answer :
         {Playlist("0", {{1, "D:\\Music\\a.mp3"}}), Playlist("x1", {{1, "D:\\Music\\a.mp3"}}),
          Playlist("-3", {{1, "D:\\Music\\a.mp3"}}), Playlist("1", {{1, "C:\\x\\b.mp3"}}),
          Playlist("1", {{1, longName}}), Bytes("deny"), Bytes("")}) {
        o = Read(answer);
        EXPECT_EQ(o.kind, Kind::NothingShared);
        EXPECT_EQ(o.message, "John-pc' playlist does'n have shared items");
        EXPECT_TRUE(o.entries.empty());
    }
    // Tags are one byte: a count above 255 reaches entry 255 and no further.
    std::vector<std::pair<uint8_t, std::string>> many;
    for (int t = 1; t <= 255; ++t)
        many.push_back({static_cast<uint8_t>(t), "\\\\ok\\" + std::to_string(t)});
    EXPECT_EQ(Read(Playlist("100000", many)).entries.size(), 255u);
    EXPECT_EQ(RequestFailureMessage(10040), "Failed. Error = 10040");
}

TEST(Requests, PermissionAnswerAndPort) {
    const auto refuses = [](const std::string& s) {
        return IsRefusal(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_TRUE(refuses("DENY"));
    for (const char* grant : {"deny", "DENY ", "", "OK", "DEN"})
        EXPECT_FALSE(refuses(grant)) << grant;
    EXPECT_EQ(PermissionPort(0), 5146);
    EXPECT_EQ(PermissionPort(6000), 6000);
    // Only the computer asked answers, from the port asked.
    const uint32_t desk = 0xC0A80114, lo3 = 0x7F000003;
    EXPECT_TRUE(IsAnswerFrom(desk, 5146, desk, 5146));
    EXPECT_FALSE(IsAnswerFrom(desk, 5146, desk + 1, 5146));
    EXPECT_FALSE(IsAnswerFrom(desk, 5146, desk, 5147));
    EXPECT_TRUE(IsAnswerFrom(lo3, 5146, 0x7F000001, 5146)) << "loopback is this computer";
    EXPECT_FALSE(IsAnswerFrom(desk, 5146, 0x7F000001, 5146));
}

TEST(Requests, StreamLocationRoundTrips) {
    for (uint16_t port : {uint16_t{0}, uint16_t{5146}, uint16_t{32767}, uint16_t{40000}}) {
        const std::string written = wire::FormatStreamLocation("127.0.0.7", port, "John-pc");
        wire::StreamLocation read;
        ASSERT_TRUE(wire::ParseStreamLocation(written, read)) << written;
        EXPECT_EQ(read.addressText, "127.0.0.7");
        EXPECT_EQ(read.port, port ? port : 5150) << written;
        EXPECT_EQ(read.title, "John-pc's computer audio stream");
    }
    EXPECT_EQ(wire::FormatStreamLocation("10.0.0.1", 40000, "A"),
              "\\\\orvela::10.0.0.1:-25536\\A's computer audio stream");
    EXPECT_EQ(wire::FormatStreamLocation("1.2.3.4", 0, std::string(400, 'n')).size(), 255u);
}

TEST(Sorting, EachColumnInBothDirections) {
    PeerRecord a, b;
    std::strcpy(a.computerName, "alpha");
    std::strcpy(b.computerName, "Beta");
    std::strcpy(a.userName, "zed");
    std::strcpy(b.userName, "amy");
    std::strcpy(a.title, "same");
    std::strcpy(b.title, "same");
    a.sharedReachable = 1;
    // A collation that ignores case, as a locale's does, unlike byte order.
    const Collation caseless = [](const char* x, const char* y) { return strcasecmp(x, y); };
    ColumnSettings c;
    const auto order = [&](const char* key, int mark) {
        std::strcpy(c.key, key);
        c.sortMark = mark;
        const int r = CompareRows(a, b, c, caseless);
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    };
    EXPECT_EQ(order("COL_COMP_NAME", 1), -1);
    EXPECT_EQ(order("COL_COMP_NAME", 2), 1);
    EXPECT_EQ(order("COL_USER_NAME", 1), 1);
    EXPECT_EQ(order("COL_TITLE", 1), 0);
    EXPECT_EQ(order("COL_SHARED", 1), 1); // "No" rows first ascending
    EXPECT_EQ(order("COL_SHARED", 2), -1);
    EXPECT_EQ(order("col_shared", 1), 0); // keys are exact
}

TEST(Commands, MenusAndUserGroup) {
    PeerRecord r;
    std::strcpy(r.computerName, "JOHN-PC");
    std::vector<MenuEntry> m = PeerMenuEntries(r);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_TRUE(m[0].greyed && m[1].greyed && !m[2].greyed);
    EXPECT_EQ(m[0].text + "|" + m[1].text + "|" + m[2].text,
              "Play the file|Open shared directory|Get John-pc's playlist");
    r.sharedReachable = 1;
    std::memset(r.computerName, 'Q', 99);
    m = PeerMenuEntries(r);
    EXPECT_FALSE(m[0].greyed || m[1].greyed);
    EXPECT_EQ(m[2].text.size(), 99u);
    EXPECT_EQ(HeaderMenuEntries().size(), 4u);
    EXPECT_TRUE(HeaderMenuEntries()[2].separator);

    uint8_t g = 100;
    EXPECT_TRUE(ParseUserGroup("", g));
    EXPECT_EQ(g, 0);
    EXPECT_TRUE(ParseUserGroup(" 7x", g));
    EXPECT_EQ(g, 7);
    EXPECT_TRUE(ParseUserGroup("255", g));
    for (const char* refused : {"256", "999", "-1"})
        EXPECT_FALSE(ParseUserGroup(refused, g)) << refused;
    EXPECT_EQ(g, 255);
}
