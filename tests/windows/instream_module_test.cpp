// in_orvela's record and callbacks as the player sees them, the session's
// start and refusal, and Stop at any moment of a playback.
#include "tests/windows/instream_host.h"

#include <cstring>

namespace {

using namespace instream_test;

TEST_F(InStreamHost, RecordAndClaims) {
    EXPECT_EQ(module->version, 0x100);
    EXPECT_STREQ(module->description, "Orvela instream decoder v1.0(x86)");
    // One extension entry that no file name ends with, then the list's end.
    EXPECT_STREQ(module->FileExtensions, "Orvela instream decoder v1.0");
    EXPECT_EQ(module->FileExtensions[std::strlen(module->FileExtensions) + 1], 0);
    EXPECT_EQ(module->is_seekable, 0);
    EXPECT_EQ(module->UsesOutputPlug, 1);
    EXPECT_EQ(module->GetLength(), 0);
    EXPECT_EQ(module->InfoBox(nullptr, player.MainWindow()), 0);

    char ours[] = "\\\\orvela::127.0.0.2:5150\\Ann's computer audio stream";
    char inside[] = "C:\\x\\\\orvela::127.0.0.2:5150\\t";
    char upper[] = "\\\\ORVELA::127.0.0.2:5150\\t";
    char mp3[] = "C:\\Music\\song.mp3";
    EXPECT_EQ(module->IsOurFile(ours), 1);
    EXPECT_EQ(module->IsOurFile(inside), 1);
    EXPECT_EQ(module->IsOurFile(upper), 0);
    EXPECT_EQ(module->IsOurFile(mp3), 0);

    char title[2048] = {};
    int length = 0;
    module->GetFileInfo(ours, title, &length);
    EXPECT_STREQ(title, "Ann's computer audio stream");
    EXPECT_EQ(length, -1000);
    char plain[] = "no backslash";
    module->GetFileInfo(plain, title, &length);
    EXPECT_STREQ(title, "no backslash");
    module->GetFileInfo(ours, nullptr, nullptr); // outputs only where given
}

TEST_F(InStreamHost, NowPlayingInfoAndVolume) {
    PeerSim peer;
    ASSERT_TRUE(peer.Start("--port 6120 --no-answer --duration 3000"));
    Play(Location(6120, "Bob's computer audio stream"));
    char title[2048] = {};
    int length = 7;
    char empty[] = "";
    module->GetFileInfo(empty, title, &length);
    EXPECT_STREQ(title, "Bob's computer audio stream");
    EXPECT_EQ(length, 0);
    std::memset(title, 'x', sizeof title);
    module->GetFileInfo(nullptr, title, nullptr);
    EXPECT_STREQ(title, "Bob's computer audio stream");
    module->SetVolume(120);
    EXPECT_EQ(output.Volume(), 120);
    EXPECT_LT(TimedStop(), 3000u);
    EXPECT_EQ(output.Calls().closes, 1);
    EXPECT_EQ(output.Calls().saDeInits, 1);
}

struct InStreamSession : InStreamHost {
    PeerSim peer;

    // Plays against a peer that answers `answer` and lets a second pass.
    void PlayAnswered(PeerSim& sim, int port, const std::string& answer) {
        ASSERT_TRUE(sim.Start("--port " + std::to_string(port) + " --answer " + answer +
                              " --duration 4000"));
        Play(Location(port));
        ASSERT_TRUE(sim.WaitFor("send main answer", 3000));
        player.Pump(1000);
    }
    // The player stayed silent: no output opened, no audio, no end of track.
    // Stop still returns at once and says "CLOSE_STREAM".
    void ExpectSilentThenStop(const PeerSim& sim, const std::string& answer) {
        EXPECT_EQ(output.Calls().opens, 0) << answer;
        EXPECT_EQ(output.PcmBytes(), 0u) << answer;
        EXPECT_EQ(Eofs(), 0u) << answer;
        EXPECT_LT(TimedStop(), 3000u) << answer;
        EXPECT_TRUE(sim.WaitFor("text=\"CLOSE_STREAM\"", 3000)) << sim.Log();
    }
};

TEST_F(InStreamSession, DenyLeavesThePlayerSilent) {
    PlayAnswered(peer, 6121, "DENY");
    if (HasFatalFailure()) return;
    ExpectSilentThenStop(peer, "DENY");
}

// The same module linked into this program, where the shell shows the
// session state that the player never sees.
struct InStreamLinkedSession : InStreamSession {
    InStreamLinkedSession() { linked = true; }
};

TEST_F(InStreamLinkedSession, RefusedAndUnusableAnswersKeepTheirSessionError) {
    struct Case {
        const char* answer;
        int32_t error;
        int32_t state;
    };
    const Case cases[] = {
        {"DENY", 10061, instream::SESSION_DENIED},       // WSAECONNREFUSED
        {"deny", 10061, instream::SESSION_DENIED},       // in any letter case
        {"OK~7", 512, instream::SESSION_HANDSHAKE},      // the codec's ACMERR_NOTPOSSIBLE
        {"OK~", 512, instream::SESSION_HANDSHAKE},       // no digit at all
        {"WELCOME", 10061, instream::SESSION_HANDSHAKE}, // not an answer we know
    };
    int port = 6130;
    for (const Case& c : cases) {
        PeerSim sim;
        PlayAnswered(sim, ++port, c.answer);
        if (HasFatalFailure()) return;
        // Read while the player sits silent, before Stop.
        EXPECT_EQ(in_orvela::CurrentSessionError(), c.error) << c.answer;
        EXPECT_EQ(in_orvela::CurrentSessionState(), c.state) << c.answer;
        ExpectSilentThenStop(sim, c.answer);
    }
}

TEST_F(InStreamLinkedSession, PeerCloseEndsTheTrackWithoutAnError) {
    ASSERT_TRUE(peer.Start("--port 6137 --format 5 --close-after 800 --duration 4000"));
    Play(Location(6137));
    ASSERT_TRUE(WaitForPcm(1, 3000));
    EXPECT_EQ(in_orvela::CurrentSessionState(), instream::SESSION_STREAMING);
    ASSERT_TRUE(WaitForEof(5000));
    EXPECT_EQ(in_orvela::CurrentSessionState(), instream::SESSION_CLOSED);
    EXPECT_EQ(in_orvela::CurrentSessionError(), 0);
    EXPECT_LT(TimedStop(), 3000u);
}

TEST_F(InStreamLinkedSession, OnlyFourDottedNumbersAreAnAddress) {
    // inet_addr would read "127.2" as 127.0.0.2 (and text it cannot read as
    // the broadcast address); the session refuses anything but a dotted quad.
    ASSERT_TRUE(peer.Start("--port 6138 --duration 1000 --wait 1000"));
    Play("\\\\orvela::127.2:6138\\t");
    player.Pump(500);
    EXPECT_EQ(in_orvela::CurrentSessionError(), 10049); // WSAEADDRNOTAVAIL
    EXPECT_EQ(output.Calls().opens, 0);
    EXPECT_LT(TimedStop(), 2000u);
    ASSERT_TRUE(peer.WaitFor("no OPEN_STREAM", 3000)) << peer.Log();
    EXPECT_EQ(peer.Count("recv "), 0u) << peer.Log();
}

TEST_F(InStreamSession, StopRightAfterPlayReturnsAndClosesTheStream) {
    ASSERT_TRUE(peer.Start("--port 6125 --sessions 20 --duration 3000 --wait 20000"));
    for (int i = 0; i < 20; ++i) {
        Play(Location(6125));
        EXPECT_LT(TimedStop(), 2000u) << "round " << i;
    }
    ASSERT_TRUE(peer.WaitFor("done", 20000)) << peer.Log();
    EXPECT_EQ(peer.Count("text=\"OPEN_STREAM\""), 20u) << peer.Log();
    EXPECT_EQ(peer.Count("text=\"CLOSE_STREAM\""), 20u) << peer.Log();
}

TEST_F(InStreamSession, StopWhileWaitingForTheAnswerOrWhileStreaming) {
    ASSERT_TRUE(peer.Start("--port 6126 --no-answer --duration 3000"));
    Play(Location(6126));
    ASSERT_TRUE(peer.WaitFor("OPEN_STREAM", 3000));
    EXPECT_LT(TimedStop(), 2000u);
    EXPECT_TRUE(peer.WaitFor("text=\"CLOSE_STREAM\"", 3000)) << peer.Log();

    PeerSim streaming;
    ASSERT_TRUE(streaming.Start("--port 6127 --ping 50 --duration 4000"));
    Play(Location(6127));
    ASSERT_TRUE(WaitForPcm(44100, 3000));
    module->Pause();
    player.Pump(100);
    EXPECT_LT(TimedStop(), 2000u);
    EXPECT_TRUE(streaming.WaitFor("text=\"CLOSE_STREAM\"", 3000)) << streaming.Log();
    // Stopped means stopped: nothing more reaches the output.
    const size_t after = output.PcmBytes();
    player.Pump(300);
    EXPECT_EQ(output.PcmBytes(), after);
}

TEST_F(InStreamSession, NegativePortOpensTheSessionAbove32767) {
    ASSERT_TRUE(peer.Start("--port 40000 --format 5 --duration 3000"));
    Play("\\\\orvela::127.0.0.2:-25536\\Ann's computer audio stream");
    EXPECT_TRUE(WaitForPcm(1, 3000));
    EXPECT_LT(TimedStop(), 3000u);
    EXPECT_EQ(peer.Count("text=\"OPEN_STREAM\""), 1u) << peer.Log();
    // Stopped in mid-stream, not paused.
    EXPECT_TRUE(peer.WaitFor("text=\"CLOSE_STREAM\"", 3000)) << peer.Log();
}

TEST_F(InStreamSession, PortZeroOpensTheSessionAtTheDefaultPort) {
    ASSERT_TRUE(peer.Start("--port 5150 --format 4 --duration 3000"));
    Play("\\\\orvela::127.0.0.2:0\\Ann's computer audio stream");
    EXPECT_TRUE(WaitForPcm(1, 3000));
    EXPECT_LT(TimedStop(), 3000u);
    EXPECT_EQ(peer.Count("text=\"OPEN_STREAM\""), 1u) << peer.Log();
    EXPECT_TRUE(peer.WaitFor("text=\"CLOSE_STREAM\"", 3000)) << peer.Log();
}

} // namespace
