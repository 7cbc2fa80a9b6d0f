// The share probe on Wine's network names (see UncShares).
#include "tests/windows/presence_harness.h"

#include <string>

namespace presence_test {
namespace {

// music/Pop/a.mp3 and music/solo.mp3 shared by PC7 for each test.
struct ShareTest : PresenceTest {
    UncShares shares;

    void SetUp() override {
        PresenceTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(shares.Make());
    }
    void TearDown() override {
        EXPECT_TRUE(shares.Remove());
        PresenceTest::TearDown();
    }
};

TEST_F(ShareTest, LocalPathsAreTriedAsSharesOfTheirComputer) {
    EXPECT_EQ(ProbeSharePath("\\\\PC7\\Music\\Pop\\a.mp3", "ignored"), 1);
    EXPECT_EQ(ProbeSharePath("\\\\PC7\\Music\\Pop\\b.mp3", "PC7"), 0);
    // D:\Music\Pop\a.mp3 on PC7: \\PC7\Music\Pop\a.mp3 opens.
    EXPECT_EQ(ProbeSharePath("D:\\Music\\Pop\\a.mp3", "PC7"), 1);
    // \\PC7\Other\Pop\a.mp3 does not; \\PC7\Pop\a.mp3 does.
    EXPECT_EQ(ProbeSharePath("D:\\Other\\Pop\\a.mp3", "PC7"), 1);
    // Neither \\PC7\x\y\solo.mp3 nor \\PC7\y\solo.mp3; \\PC7\solo.mp3 does.
    EXPECT_EQ(ProbeSharePath("D:\\x\\y\\solo.mp3", "PC7"), 1);
    EXPECT_EQ(ProbeSharePath("D:\\Music\\Pop\\a.mp3", "PC8"), 0);
    EXPECT_EQ(ProbeSharePath("D:\\Music\\Pop\\nothing.mp3", "PC7"), 0);
    EXPECT_EQ(ProbeSharePath("a.mp3", "PC7"), 0);
    EXPECT_EQ(ProbeSharePath("", "PC7"), 0);
    EXPECT_EQ(ProbeSharePath(nullptr, "PC7"), 0);
}

TEST_F(ShareTest, DeviceNamespaceNamesAreNeverOpened) {
    // These paths do open here, so only the probe's refusal can answer 0.
    for (const char* device : {"\\\\.\\C:\\windows\\win.ini", "\\\\?\\C:\\windows\\win.ini"}) {
        HANDLE h = CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << device;
        CloseHandle(h);
        EXPECT_EQ(ProbeSharePath(device, "PC7"), 0) << device;
    }
    EXPECT_EQ(ProbeSharePath("X:\\C:\\windows\\win.ini", "."), 0);
    EXPECT_EQ(ProbeSharePath("X:\\C:\\windows\\win.ini", "?"), 0);
}

TEST_F(ShareTest, SharedColumnShowsWhetherTheFileOpensFromHere) {
    PresenceWindow w;
    ASSERT_EQ(w.Start(), 0);
    auto announce = [](const std::vector<std::pair<std::string, std::string>>& peers,
                       const char* title) {
        std::vector<std::string> args = {"--count", "1"};
        for (const auto& [src, path] : peers)
            args.insert(args.end(),
                        {"--peer", "--src", src, "--comp", src == "127.0.0.4" ? "." : "PC7",
                         "--title", title, "--path", path});
        return RunPeersim(args);
    };
    ASSERT_TRUE(announce({{"127.0.0.2", "D:\\Music\\Pop\\a.mp3"},
                          {"127.0.0.3", "D:\\Music\\Pop\\b.mp3"},
                          {"127.0.0.4", "X:\\C:\\windows\\win.ini"}},
                         "one"));
    ASSERT_TRUE(w.WaitHeard("127.0.0.4", 1));
    EXPECT_EQ(w.Cell("127.0.0.2", "COL_SHARED"), "Yes");
    EXPECT_EQ(w.Cell("127.0.0.3", "COL_SHARED"), "No");
    EXPECT_EQ(w.Cell("127.0.0.4", "COL_SHARED"), "No");

    // A new path is probed again.
    ASSERT_TRUE(announce({{"127.0.0.3", "D:\\Other\\Pop\\a.mp3"}}, "one"));
    ASSERT_TRUE(w.WaitHeard("127.0.0.3", 2));
    EXPECT_EQ(w.Cell("127.0.0.3", "COL_SHARED"), "Yes");

    // The same path is not: with the shares gone, a new title keeps "Yes".
    ASSERT_TRUE(shares.RemoveLinks());
    ASSERT_EQ(ProbeSharePath("D:\\Music\\Pop\\a.mp3", "PC7"), 0);
    ASSERT_TRUE(announce({{"127.0.0.2", "D:\\Music\\Pop\\a.mp3"}}, "two"));
    ASSERT_TRUE(w.WaitHeard("127.0.0.2", 2));
    EXPECT_EQ(w.Cell("127.0.0.2", "COL_TITLE"), "two");
    EXPECT_EQ(w.Cell("127.0.0.2", "COL_SHARED"), "Yes");
}

} // namespace
} // namespace presence_test
