// in_orvela playing a simulated peer's stream in the player emulator: the PCM
// that reaches the output module against what the platform's own codec makes
// of the same ADPCM bytes, and how the track ends.
#include "tests/windows/instream_host.h"

namespace {

using namespace instream_test;

struct InStreamPlay : InStreamHost {
    PeerSim peer;

    // Streams ~1.5 s of a format, lets the peer close the stream, and checks
    // that the track ended by itself with all of the audio, as the codec
    // decodes it.
    void PlayWholeStream(int code, int port, const std::string& extra = "") {
        ASSERT_TRUE(peer.Start("--port " + std::to_string(port) + " --format " +
                               std::to_string(code) + " --close-after 1500 --duration 6000 " +
                               extra));
        Play(Location(port));
        // Well before the silence rule could end it (7 s after the last audio).
        ASSERT_TRUE(WaitForEof(6000)) << "the peer's CLOSE_STREAM did not end the track";
        const auto& f = *codec::FindAudioFormat(code);
        EXPECT_EQ(output.OpenArgs(), (std::vector<int>{int(f.sampleRate), f.channels, 16, -1, -1}));
        EXPECT_EQ(output.SetInfoArgs(),
                  (std::vector<int>{int(16 * f.channels * f.sampleRate / 8192),
                                    int(f.sampleRate / 1000), f.channels, 1}));
        EXPECT_EQ(output.Volume(), -666);
        EXPECT_EQ(Eofs(), 1u);
        EXPECT_LT(TimedStop(), 3000u);
        EXPECT_TRUE(peer.WaitFor("summary", 3000)) << peer.Log();
        EXPECT_TRUE(peer.HasLine("recv main", "text=\"CLOSE_STREAM\"")) << peer.Log();
        const Bytes expected = AcmDecode(code, peer.Adpcm().data(), peer.Adpcm().size());
        const Bytes got = output.Pcm();
        ASSERT_GT(expected.size(), f.pcmBytesPerSecond) << "the peer sent too little";
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected)
            << "first difference at byte " << FirstDifference(got, expected);
        // Every chunk advanced the position by the same whole milliseconds.
        EXPECT_EQ(module->GetOutputTime(), output.Calls().writes * int(576000 / f.sampleRate));
    }
};

TEST_F(InStreamPlay, Format1MatchesThePlatformCodec) {
    PlayWholeStream(1, 6101);
}
TEST_F(InStreamPlay, Format2MatchesThePlatformCodec) {
    PlayWholeStream(2, 6102, "--answer ok~2");
}
TEST_F(InStreamPlay, Format3MatchesThePlatformCodec) {
    PlayWholeStream(3, 6103, "--blocks 1");
}
TEST_F(InStreamPlay, Format4MatchesThePlatformCodec) {
    PlayWholeStream(4, 6104, "--blocks 21");
}
TEST_F(InStreamPlay, Format5MatchesThePlatformCodec) {
    PlayWholeStream(5, 6105, "--answer Ok~5");
}

TEST_F(InStreamPlay, AnEmptyDatagramOrStrayTextsInMidStreamEndNothing) {
    PlayWholeStream(5, 6112, "--inject 300: --inject-text 400:hello --inject-text 500:X");
}

// Every datagram that arrives plays, in the order sent: the whole stream is
// compared with what the simulator sent, which leaves out the lost ones.
TEST_F(InStreamPlay, FivePercentLostPlaysEveryArrivedDatagramInOrder) {
    PlayWholeStream(1, 6113, "--blocks 1 --drop 5");
    std::printf("5%%: %ld datagrams lost\n", peer.Summary("dropped"));
    EXPECT_GT(peer.Summary("dropped"), 0);
}
TEST_F(InStreamPlay, TwentyPercentLostPlaysEveryArrivedDatagramInOrder) {
    PlayWholeStream(1, 6114, "--blocks 1 --drop 20 --close-after 4000 --duration 8000");
    std::printf("20%%: %ld datagrams lost\n", peer.Summary("dropped"));
    EXPECT_GT(peer.Summary("dropped"), 8);
}

TEST_F(InStreamPlay, DamagedStepIndexesAndPartBlocksDecodeLikeTheCodec) {
    // Step index 200 in every header (the codec clamps it), and 100 bytes
    // after the whole blocks of every datagram (ignored).
    ASSERT_TRUE(peer.Start("--port 6106 --format 4 --blocks 3 --bad-step --trailing 100 "
                           "--close-after 1200 --duration 5000"));
    Play(Location(6106));
    ASSERT_TRUE(WaitForEof(8000));
    const Bytes expected = AcmDecodeDatagrams(4, peer.Adpcm(), 3 * 512 + 100, 3 * 512 + 100);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(output.Pcm() == expected) << FirstDifference(output.Pcm(), expected);
}

TEST_F(InStreamPlay, DatagramsLargerThanTheSourceAreCut) {
    // 22 blocks: the plug-in reads 21 of each and decodes those.
    ASSERT_TRUE(
        peer.Start("--port 6107 --format 5 --blocks 22 --close-after 2000 --duration 5000"));
    Play(Location(6107));
    ASSERT_TRUE(WaitForEof(8000));
    const Bytes expected = AcmDecodeDatagrams(5, peer.Adpcm(), 22 * 256, 21 * 256);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(output.Pcm() == expected) << FirstDifference(output.Pcm(), expected);
}

TEST_F(InStreamPlay, ActiveDspGetsEveryChunk) {
    RecordingOutput::Settings s;
    s.dspActive = true;
    output.Set(s);
    ASSERT_TRUE(peer.Start("--port 6108 --format 2 --close-after 800 --duration 4000"));
    Play(Location(6108));
    ASSERT_TRUE(WaitForEof(8000));
    // The emulator's DSP repeats every frame: the output gets each twice.
    const Bytes plain = AcmDecode(2, peer.Adpcm().data(), peer.Adpcm().size());
    Bytes doubled;
    for (size_t i = 0; i + 1 < plain.size(); i += 2)
        doubled.insert(doubled.end(), {plain[i], plain[i + 1], plain[i], plain[i + 1]});
    ASSERT_FALSE(doubled.empty());
    EXPECT_TRUE(output.Pcm() == doubled) << FirstDifference(output.Pcm(), doubled);
    EXPECT_EQ(output.Calls().dspCalls, output.Calls().writes);
}

TEST_F(InStreamPlay, PingIsAnsweredAlsoWhilePausedAndPausedAudioIsDropped) {
    ASSERT_TRUE(peer.Start("--port 6109 --format 3 --blocks 2 --ping 100 --duration 3000"));
    Play(Location(6109));
    ASSERT_TRUE(WaitForPcm(1, 3000));
    player.Pump(300);
    module->Pause();
    EXPECT_EQ(module->IsPaused(), 1);
    player.Pump(200); // what was queued before the pause plays out
    const size_t atPause = output.PcmBytes();
    player.Pump(1200);
    EXPECT_EQ(output.PcmBytes(), atPause) << "audio of the paused time was played";
    module->UnPause();
    EXPECT_EQ(module->IsPaused(), 0);
    ASSERT_TRUE(WaitForPcm(atPause + 1, 2000));
    player.Pump(300);
    TimedStop();
    ASSERT_TRUE(peer.WaitFor("summary", 5000));
    // Pings came every 100 ms through the 1.4 s pause; each was answered.
    const long pings = peer.Summary("pings");
    EXPECT_GE(pings, 15);
    EXPECT_GE(peer.Summary("ping_ok_main"), pings - 1) << peer.Log();
    EXPECT_EQ(output.Calls().pauses, 1);
    EXPECT_EQ(output.Calls().unpauses, 1);

    // What played is the stream up to the pause, then the stream from a later
    // datagram on: the paused audio is gone, not delayed.
    const Bytes all = AcmDecode(3, peer.Adpcm().data(), peer.Adpcm().size());
    const Bytes got = output.Pcm();
    const size_t datagram = 2 * 1017 * 4;
    const long diff = FirstDifference(got, all);
    ASSERT_GE(diff, 0) << "nothing was dropped";
    const size_t resume = size_t(diff) / datagram * datagram;
    const Bytes tail(got.begin() + long(resume), got.end());
    bool found = false;
    for (size_t at = resume + datagram; at + tail.size() <= all.size() && !found; at += datagram) {
        if (std::equal(tail.begin(), tail.end(), all.begin() + long(at))) {
            found = true;
            EXPECT_GE(at - resume, size_t(88200)) << "less than a second was dropped";
        }
    }
    EXPECT_TRUE(found) << "the audio after the pause is not a later part of the stream";
}

TEST_F(InStreamPlay, SevenSecondsOfSilenceEndTheTrackOnceTheOutputPlayedOut) {
    RecordingOutput::Settings s;
    s.playing = true;
    output.Set(s);
    ASSERT_TRUE(peer.Start("--port 6110 --format 5 --silent-after 500 --duration 12000"));
    const DWORD start = GetTickCount();
    Play(Location(6110));
    ASSERT_TRUE(WaitForPcm(1, 3000));
    // Well before 7 s of silence: still playing.
    player.Pump(5500);
    EXPECT_EQ(Eofs(), 0u);
    // After the limit the loop only waits for the output to finish.
    player.Pump(3000);
    EXPECT_EQ(Eofs(), 0u);
    s.playing = false;
    output.Set(s);
    ASSERT_TRUE(WaitForEof(2000));
    EXPECT_GE(GetTickCount() - start, 7500u);
    EXPECT_EQ(Eofs(), 1u);
}

TEST_F(InStreamPlay, PingOkFollowsAPeerThatMovesToAnotherPort) {
    ASSERT_TRUE(peer.Start("--port 6111 --format 1 --ping 100 --other-port-after 500 "
                           "--close-after 1500 --duration 4000"));
    Play(Location(6111));
    ASSERT_TRUE(WaitForEof(8000));
    TimedStop();
    ASSERT_TRUE(peer.WaitFor("summary", 5000));
    EXPECT_GE(peer.Summary("ping_ok_main"), 3) << peer.Log();
    EXPECT_GE(peer.Summary("ping_ok_other"), 8) << peer.Log();
    // The audio from the other port played on, all of it.
    const Bytes expected = AcmDecode(1, peer.Adpcm().data(), peer.Adpcm().size());
    EXPECT_TRUE(output.Pcm() == expected) << FirstDifference(output.Pcm(), expected);
    // Stop's CLOSE_STREAM goes to where the last datagram came from.
    EXPECT_TRUE(peer.WaitFor("text=\"CLOSE_STREAM\"", 3000));
    EXPECT_TRUE(peer.HasLine("recv other", "text=\"CLOSE_STREAM\"")) << peer.Log();
}

} // namespace
