#include "peers/peer_table.h"
#include "peers/share_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// The browser list's rows, and what the table asked of them.
struct FakeRows : PeerRows {
    std::vector<PeerRecord*> rows;
    std::vector<int> textsSet;
    int redraws = 0;
    bool refuseAppend = false;
    std::string keeps; // the list keeps this address's row
    bool runsOut = false;

    ~FakeRows() override {
        for (PeerRecord* r : rows)
            delete r;
    }
    mutable int asked = 0; // records asked for: each is a window message on the list
    int Count() const override { return static_cast<int>(rows.size()); }
    PeerRecord* RecordAt(int row) const override {
        ++asked;
        return rows.at(static_cast<size_t>(row));
    }
    int Append(PeerRecord* record) override {
        if (refuseAppend) return -1;
        rows.push_back(record);
        return Count() - 1;
    }
    bool Kept(const PeerRecord* r) const { return r && r->address == keeps; }
    void Remove(int row) override {
        if (!Kept(rows.at(row))) rows.erase(rows.begin() + row);
    }
    void RemoveAll() override {
        if (runsOut) throw std::bad_alloc();
        std::erase_if(rows, [this](const PeerRecord* r) { return !Kept(r); });
    }
    void SetRowTexts(int row, const PeerRecord&) override { textsSet.push_back(row); }
    void RedrawVisibleRows() override { ++redraws; }
};

std::unique_ptr<PeerRecord> Peer(const char* address, const char* name = "PC7",
                                 const char* title = "song", const char* path = "D:\\a.mp3",
                                 const char* user = "ann") {
    auto r = std::make_unique<PeerRecord>();
    std::strcpy(r->address, address);
    std::strcpy(r->computerName, name);
    std::strcpy(r->title, title);
    std::strcpy(r->sharedPath, path);
    std::strcpy(r->userName, user);
    return r;
}

struct Table : ::testing::Test {
    FakeRows rows;
    uint32_t now = 1000;
    int activeRow = -1;
    std::vector<std::string> probed;
    bool queueFull = false;
    PeerTable table{rows, [this] { return now; },
                    [this](const PeerRecord& r) {
                        probed.push_back(std::string(r.computerName) + ":" + r.sharedPath);
                        return !queueFull;
                    },
                    activeRow};

    std::string Addresses() const {
        std::string out;
        for (const PeerRecord* r : rows.rows)
            out += std::string(r->address) + " ";
        return out;
    }
    void Forget() {
        rows.textsSet.clear();
        rows.redraws = 0;
        probed.clear();
    }
};

TEST_F(Table, MergingAnnouncements) {
    table.OnPeerAnnounced(Peer("10.0.0.1"));
    EXPECT_EQ(probed, (std::vector<std::string>{"PC7:D:\\a.mp3"}));
    EXPECT_EQ(rows.textsSet, (std::vector<int>{0}));
    EXPECT_EQ(rows.redraws, 1);
    PeerRecord* kept = rows.rows[0];
    EXPECT_EQ(kept->sharedReachable, 0) << "\"No\" until the probe answers";
    table.OnShareProbed("10.0.0.1", "D:\\a.mp3", true);
    EXPECT_EQ(kept->sharedReachable, 1);
    EXPECT_EQ(rows.textsSet, (std::vector<int>{0, 0}));

    // The same texts again: only lastHeard moves.
    Forget();
    now = 2500;
    table.OnPeerAnnounced(Peer("10.0.0.1"));
    EXPECT_EQ(kept->lastHeard, 2500u);
    EXPECT_TRUE(probed.empty() && rows.textsSet.empty() && rows.redraws == 0);

    // A new computer name or port is stored without touching the row.
    auto renamed = Peer("10.0.0.1", "PC7-NEW");
    renamed->port = 6000;
    table.OnPeerAnnounced(std::move(renamed));
    EXPECT_STREQ(kept->computerName, "PC7-NEW");
    EXPECT_EQ(kept->port, 6000);
    EXPECT_TRUE(rows.textsSet.empty());

    // A new title, then a new user: texts set, the probe answer reused.
    table.OnPeerAnnounced(Peer("10.0.0.1", "PC7", "other"));
    table.OnPeerAnnounced(Peer("10.0.0.1", "PC7", "other", "D:\\a.mp3", "bob"));
    EXPECT_EQ(rows.textsSet, (std::vector<int>{0, 0}));
    EXPECT_TRUE(probed.empty());
    EXPECT_EQ(kept->sharedReachable, 1);

    // A new shared path (case counts) is probed again.
    table.OnPeerAnnounced(Peer("10.0.0.1", "PC7", "other", "d:\\a.mp3", "bob"));
    EXPECT_EQ(probed, (std::vector<std::string>{"PC7:d:\\a.mp3"}));
    EXPECT_EQ(kept->sharedReachable, 0);
    // Answers for the old path or for an address without a row are dropped.
    Forget();
    table.OnShareProbed("10.0.0.1", "D:\\a.mp3", true);
    table.OnShareProbed("10.0.0.9", "d:\\a.mp3", true);
    EXPECT_TRUE(kept->sharedReachable == 0 && rows.textsSet.empty());

    table.OnPeerAnnounced(Peer("10.0.0.2", "PC8", "song", ""));
    EXPECT_EQ(Addresses(), "10.0.0.1 10.0.0.2 ");
    EXPECT_EQ(rows.rows[0], kept);
    EXPECT_TRUE(probed.empty()) << "an empty path was probed";
}

TEST_F(Table, AProbeDroppedForAFullQueueIsAskedAgainAtTheNextAnnouncement) {
    for (bool full : {true, true, false, false}) {
        queueFull = full;
        table.OnPeerAnnounced(Peer("10.0.0.1"));
    }
    EXPECT_EQ(probed.size(), 3u) << "asked until taken, then no more";
    table.OnShareProbeLost("10.0.0.1"); // its answer found no room
    table.OnPeerAnnounced(Peer("10.0.0.1"));
    table.OnPeerAnnounced(Peer("10.0.0.1"));
    EXPECT_EQ(probed.size(), 4u) << "a lost answer is asked again once";
}

TEST_F(Table, RowsAreBoundedAndANewComputerTakesTheLongestSilentPlace) {
    for (int i = 0; i < kMaxPeerRows; ++i, ++now)
        table.OnPeerAnnounced(
            Peer(("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256)).c_str()));
    table.OnPeerAnnounced(Peer("10.0.0.0")); // the first is heard again
    activeRow = 2;
    table.OnPeerAnnounced(Peer("10.9.9.9"));
    EXPECT_EQ(rows.Count(), kMaxPeerRows);
    EXPECT_EQ(table.FindRow("10.0.0.1"), -1) << "the longest silent went";
    EXPECT_EQ(table.FindRow("10.0.0.0"), 0);
    EXPECT_EQ(table.FindRow("10.9.9.9"), kMaxPeerRows - 1);
    EXPECT_EQ(activeRow, 1) << "the activated row follows its computer";
}

TEST_F(Table, AddressesMatchWithoutRegardToCase) {
    rows.rows.push_back(nullptr); // rows without a record are skipped
    table.OnPeerAnnounced(Peer("fe80::a"));
    table.OnPeerAnnounced(Peer("FE80::A", "PC7", "new"));
    EXPECT_EQ(rows.rows.size(), 2u);
    EXPECT_STREQ(rows.rows[1]->title, "new");
    rows.rows.erase(rows.rows.begin());

    rows.refuseAppend = true; // ASan: the record that found no row must not leak
    table.OnPeerAnnounced(Peer("10.0.0.9"));
    EXPECT_EQ(rows.rows.size(), 1u);
}

TEST_F(Table, AgeOutAtTheSilenceLimitAcrossTheWrapAround) {
    for (uint32_t heard : {10000u, 0xFFFFFF00u}) { // the second wraps before 4000 ms pass
        now = heard;
        table.OnPeerAnnounced(Peer("10.0.0.1"));
        rows.redraws = 0;
        now = heard + 3999;
        table.AgeOutPeers();
        EXPECT_EQ(rows.rows.size(), 1u) << heard;
        now = heard + 4000;
        table.AgeOutPeers();
        EXPECT_TRUE(rows.rows.empty()) << heard;
        EXPECT_EQ(rows.redraws, 1);
        table.AgeOutPeers();
        EXPECT_EQ(rows.redraws, 1) << "no rows: nothing to do";
    }
}

TEST_F(Table, SilentRowsGoTogetherAndTheActivatedRowFollowsItsPeer) {
    for (const char* a : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"}) {
        table.OnPeerAnnounced(Peer(a)); // heard at 1000, 2000, ... 5000
        now += 1000;
    }
    table.OnPeerAnnounced(Peer("10.0.0.3"));
    table.OnPeerAnnounced(Peer("10.0.0.5")); // both at 6000
    activeRow = 2;                           // 10.0.0.3
    table.AgeOutPeers();
    EXPECT_EQ(Addresses(), "10.0.0.3 10.0.0.4 10.0.0.5 ");
    EXPECT_EQ(activeRow, 0);

    activeRow = 1; // 10.0.0.4, heard at 4000
    now = 8000;
    table.AgeOutPeers();
    EXPECT_EQ(Addresses(), "10.0.0.3 10.0.0.5 ");
    EXPECT_EQ(activeRow, -1);

    activeRow = 1;
    table.ClearPeers();
    EXPECT_TRUE(rows.rows.empty());
    EXPECT_EQ(activeRow, -1);
}

TEST_F(Table, ClearingAndAgeingOutNeverLeaveARowWithAFreedRecord) {
    for (const char* a : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4"})
        table.OnPeerAnnounced(Peer(a));
    rows.keeps = "10.0.0.3";
    rows.runsOut = true;
    EXPECT_THROW(table.ClearPeers(), std::bad_alloc);
    // Reading every record left: ASan stops at a freed one.
    EXPECT_EQ(Addresses(), "10.0.0.1 10.0.0.2 10.0.0.3 10.0.0.4 ");
    rows.runsOut = false;
    table.ClearPeers();
    EXPECT_EQ(Addresses(), "10.0.0.3 ");
    now += wire::kPresenceTimeoutMs;
    table.AgeOutPeers();
    EXPECT_EQ(Addresses(), "10.0.0.3 ");
}

TEST_F(Table, AListedComputerIsFoundWithoutWalkingTheRowsWhereverItsRowMoved) {
    PeerRowIndex index;
    table.UseIndex(index);
    constexpr int kPeers = 50;
    auto address = [](int i) { return "10.0.0." + std::to_string(i); };
    for (int i = 0; i < kPeers; ++i)
        table.OnPeerAnnounced(Peer(address(i).c_str()));
    EXPECT_EQ(rows.asked, 0) << "new computers walked the rows";
    auto announce = [&](int i) {
        rows.asked = 0;
        table.OnPeerAnnounced(Peer(address(i).c_str()));
        return rows.asked;
    };
    EXPECT_EQ(announce(17), 1);
    EXPECT_EQ(rows.Count(), kPeers);

    // Sorted: one walk finds it and notes every row on the way.
    std::reverse(rows.rows.begin(), rows.rows.end());
    EXPECT_EQ(announce(17), 1 + kPeers); // the stale hint, then the walk
    EXPECT_EQ(announce(3), 1);
    EXPECT_EQ(table.FindRow(address(3).c_str()), kPeers - 1 - 3);
    // Silent rows removed: the others are found again, once each walk.
    now += wire::kPresenceTimeoutMs;
    table.OnPeerAnnounced(Peer(address(40).c_str()));
    table.AgeOutPeers();
    ASSERT_EQ(rows.Count(), 1);
    EXPECT_EQ(table.FindRow(address(40).c_str()), 0);
    EXPECT_EQ(table.FindRow(address(3).c_str()), -1);
    EXPECT_EQ(table.FindRow("10.0.0.99"), -1);
    // Cleared: no hint of before finds a row.
    table.ClearPeers();
    table.OnPeerAnnounced(Peer(address(5).c_str()));
    EXPECT_EQ(table.FindRow(address(40).c_str()), -1);
    EXPECT_EQ(table.FindRow(address(5).c_str()), 0);
}

TEST(SharePath, CandidatesAndTheirOrder) {
    std::vector<std::string> tried;
    auto opens = [&](const std::string& p) {
        tried.push_back(p);
        return p == "\\\\PC7\\a.mp3";
    };
    EXPECT_EQ(ResolveSharePath("D:\\Music\\Pop\\a.mp3", "PC7", opens), "\\\\PC7\\a.mp3");
    EXPECT_EQ(tried, (std::vector<std::string>{"\\\\PC7\\Music\\Pop\\a.mp3", "\\\\PC7\\Pop\\a.mp3",
                                               "\\\\PC7\\a.mp3"}));
    tried.clear();
    EXPECT_EQ(ProbeSharePath("\\\\srv\\share\\b.mp3", "PC7", opens), 0);
    EXPECT_EQ(tried, (std::vector<std::string>{"\\\\srv\\share\\b.mp3"}));
    tried.clear();
    EXPECT_EQ(ProbeSharePath("a.mp3", "PC7", opens), 0);
    EXPECT_EQ(ProbeSharePath(nullptr, "PC7", opens), 0);
    EXPECT_EQ(ProbeSharePath("D:\\a.mp3", "", opens), 0);
    EXPECT_TRUE(tried.empty());

    // A candidate that would not fit the probe's 300 bytes is not cut, but skipped.
    const std::string deep = "D:\\" + std::string(290, 'd') + "\\a.mp3";
    EXPECT_EQ(ProbeSharePath(deep.c_str(), "PC7", opens), 1);
    EXPECT_EQ(tried, (std::vector<std::string>{"\\\\PC7\\a.mp3"}));
    // A 256-character path of one-letter folders opens the network a few times, not 127.
    std::string folders = "D:";
    while (folders.size() < 250)
        folders += "\\f";
    tried.clear();
    EXPECT_EQ(ProbeSharePath((folders + "\\a.mp3").c_str(), "PC7", opens), 0);
    EXPECT_EQ(tried.size(), kMaxShareCandidates);
}

TEST(SharePath, DeviceAndRawNamespacesAreNeverOpened) {
    std::vector<std::string> tried;
    auto opensAnything = [&](const std::string& p) {
        tried.push_back(p);
        return true;
    };
    for (const char* path :
         {"\\\\.\\PhysicalDrive0", "\\\\?\\C:\\Windows\\win.ini", "\\\\.", "\\\\?"})
        EXPECT_EQ(ProbeSharePath(path, "PC7", opensAnything), 0) << path;
    for (const char* name : {".", "?", "./x", "?\\UNC"})
        EXPECT_EQ(ProbeSharePath("D:\\Music\\a.mp3", name, opensAnything), 0) << name;
    EXPECT_TRUE(tried.empty());
    EXPECT_EQ(ProbeSharePath("D:\\a.mp3", ".hidden", opensAnything), 1);

    for (const char* p : {"//./x", "\\/.\\x", "//?/x", "\\??\\C:\\x"})
        EXPECT_TRUE(IsDeviceNamespacePath(p)) << p;
    for (const char* p : {"\\\\.x\\y", "\\\\..\\y", "\\\\srv\\.\\x", "\\.\\x"})
        EXPECT_FALSE(IsDeviceNamespacePath(p)) << p;

    // Pipes and mailslots, named directly or reached from a local path.
    tried.clear();
    for (const char* path :
         {"\\\\PC7\\pipe\\x", "\\\\PC7\\PIPE", "\\\\PC7\\MailSlot\\x", "D:\\pipe"})
        EXPECT_EQ(ProbeSharePath(path, "PC7", opensAnything), 0) << path;
    EXPECT_TRUE(tried.empty());
    EXPECT_EQ(ProbeSharePath("\\\\PC7\\pipes\\x", "PC7", opensAnything), 1);
    EXPECT_TRUE(IsPipeOrMailslotPath("//PC7/mailslot/x"));
}

TEST(SharePath, AnnouncedFilesAreOpenedOnlyOnTheAnnouncingComputer) {
    std::vector<std::string> tried;
    auto opens = [&](const std::string& p) {
        tried.push_back(p);
        return true;
    };
    // Where the system resolves PC7 to 10.0.0.7, and nothing else anywhere.
    const NameCheck at = [](const std::string& name, const std::string& address) {
        return name == "PC7" && address == "10.0.0.7";
    };
    for (const char* path : {"\\\\EVIL\\share\\a.mp3", "//evil/s/a.mp3", "\\\\PC7.evil\\s\\a.mp3",
                             "\\\\PC7\\pipe\\x", "\\\\\\s\\a.mp3"})
        EXPECT_EQ(ResolveAnnouncedShare(path, "PC7", "10.0.0.7", opens, at), "") << path;
    // A name holding a backslash would name another server.
    EXPECT_EQ(ResolveAnnouncedShare("\\\\EVIL\\s\\a.mp3", "EVIL\\s", "10.0.0.7", opens, at), "");
    EXPECT_TRUE(tried.empty());
    for (const char* path : {"\\\\pc7\\s\\a.mp3", "\\\\10.0.0.7\\s\\a.mp3"})
        EXPECT_EQ(ResolveAnnouncedShare(path, "PC7", "10.0.0.7", opens, at), path);
    EXPECT_EQ(ResolveAnnouncedShare("D:\\m\\a.mp3", "PC7", "10.0.0.7", opens, at),
              "\\\\PC7\\m\\a.mp3");
    // 10.0.0.66 calling itself FILESRV (a server the system knows elsewhere)
    // is reached only by its own address.
    EXPECT_EQ(ResolveAnnouncedShare("D:\\m\\a.mp3", "FILESRV", "10.0.0.66", opens, at),
              "\\\\10.0.0.66\\m\\a.mp3");
    EXPECT_EQ(ResolveAnnouncedShare("\\\\FILESRV\\m\\a.mp3", "FILESRV", "10.0.0.66", opens, at),
              "");
    EXPECT_EQ(ResolveAnnouncedShare("\\\\PC7\\m\\a.mp3", "PC7", "10.0.0.66", opens, at), "");

    // A dotted name, an address or a number names no server: the address does.
    for (const char* name :
         {"host.example.com", "10.0.0.9", "167772169", "0x0A", "P@SSL", "f::1"}) {
        EXPECT_FALSE(IsPlainComputerName(name)) << name;
        EXPECT_EQ(ResolveAnnouncedShare("D:\\s\\a.mp3", name, "10.0.0.7", opens, at),
                  "\\\\10.0.0.7\\s\\a.mp3")
            << name;
    }
    EXPECT_TRUE(IsPlainComputerName("1A2B"));

    // Probes: a playlist the user asked for may name other servers of the
    // LAN, by a plain name or an address on a local subnet, and nothing else.
    ProbeSystem system;
    system.open = opens;
    system.interfaces = {{0x0A000001, 0xFFFFFF00, true, true, false}}; // 10.0.0.1/24
    ShareProbe probe{ShareProbe::Kind::Playlist,
                     "",
                     "PC7",
                     {"\\\\NAS\\s\\a.mp3", "\\\\PC7\\mailslot\\x", "\\\\10.0.0.9\\s\\a.mp3",
                      "\\\\8.8.8.8\\s\\a.mp3", "\\\\NAS@SSL\\s\\a.mp3", "\\\\NAS@8080\\s\\a.mp3",
                      "\\\\NAS@SSL@443\\s\\a.mp3", "\\\\NAS\\DavWWWRoot\\a.mp3",
                      "\\\\nas.example.com\\s\\a.mp3", "\\\\10.0.0.255\\s\\a.mp3"}};
    EXPECT_EQ(RunShareProbe(probe, system).reached,
              (std::vector<std::string>{"\\\\NAS\\s\\a.mp3", "", "\\\\10.0.0.9\\s\\a.mp3", "", "",
                                        "", "", "", "", ""}));
    probe.kind = ShareProbe::Kind::PlayFile;
    probe.address = "10.0.0.7";
    EXPECT_EQ(RunShareProbe(probe, system).reached, std::vector<std::string>(10))
        << "the computer's own file, never another server";
    // A probe stops trying once it ran for long: every path after is not reached.
    uint32_t clock = 0;
    system.clock = [&] { return clock; };
    system.open = [&](const std::string&) {
        clock += kProbeTimeMs / 2;
        return false;
    };
    tried.clear();
    probe = {ShareProbe::Kind::Playlist, "", "PC7", {"D:\\a\\b\\c.mp3", "\\\\NAS\\s\\b.mp3"}};
    EXPECT_EQ(RunShareProbe(probe, system).reached, std::vector<std::string>(2));
    EXPECT_EQ(clock, kProbeTimeMs) << "two opens, then no more";
}

TEST(ShareProbes, TheQueueKeepsTheLatestOfEachAndIsBounded) {
    using Kind = ShareProbe::Kind;
    ShareProbeQueue q;
    for (const ShareProbe& p : {ShareProbe{Kind::Announced, "10.0.0.1", "", {"a"}},
                                ShareProbe{Kind::PlayFile, "10.0.0.1", "", {"a"}},
                                ShareProbe{Kind::Announced, "10.0.0.2", "", {"b"}},
                                ShareProbe{Kind::Announced, "10.0.0.1", "", {"c"}},
                                ShareProbe{Kind::PlayFile, "10.0.0.2", "", {"b"}}})
        EXPECT_TRUE(q.Push(p));
    std::string order;
    using Lane = ShareProbeQueue::Lane;
    for (Lane lane : {Lane::Announced, Lane::Commands})
        for (ShareProbe next; q.Take(next, lane);)
            order +=
                std::to_string(static_cast<int>(next.kind)) + next.address + next.paths[0] + " ";
    EXPECT_EQ(order, "010.0.0.1c 010.0.0.2b 110.0.0.2b ") << "commands wait in a lane of their own";

    for (size_t i = 0; i < ShareProbeQueue::kCapacity; ++i)
        EXPECT_TRUE(q.Push({Kind::Announced, std::to_string(i), "", {"a"}}));
    EXPECT_FALSE(q.Push({Kind::Announced, "new", "", {"a"}}));
    EXPECT_TRUE(q.Push({Kind::Announced, "0", "", {"b"}})) << "a waiting address is replaced";
    for (Kind k : {Kind::PlayFile, Kind::OpenFolder, Kind::Playlist})
        EXPECT_TRUE(q.Push({k, "new", "", {"a"}})) << "a command is never dropped";
}

TEST(ShareProbes, OnlyAFolderIsOpenedForOpenSharedDirectory) {
    const auto folders = [](const std::string& p) { return p.find("file") == std::string::npos; };
    for (const char* path :
         {"\\\\PC7\\s\\evil.exe\\.", "\\\\PC7\\s\\file\\a", "\\\\PC7\\s\\..\\a", "a"})
        EXPECT_EQ(FolderToOpen(path, folders), "") << path;
    ShareProbe probe{ShareProbe::Kind::OpenFolder, "10.0.0.7", "PC7", {"D:\\Music\\a.mp3"}};
    ProbeSystem system;
    system.open = system.isFolder = folders;
    system.nameIsAt = [](const std::string&, const std::string&) { return true; };
    EXPECT_EQ(RunShareProbe(probe, system).folder, "\\\\PC7\\Music");
}

} // namespace
