#include "instream/pcm_queue.h"
#include "instream/playback.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "instream_fakes.h"

namespace {

using codec::FindAudioFormat;
using instream::ChunkReader;
using instream::DecodeLoop;
using instream::PcmQueue;
using Next = DecodeLoop::Next;
using Bytes = std::vector<uint8_t>;

// Bytes counting up from `from`, so that order and seams show.
Bytes Ramp(uint32_t n, uint32_t from = 0) {
    Bytes b(n);
    for (uint32_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>((from + i) * 7 + (from + i) / 251);
    return b;
}

struct QueueFixture : ::testing::Test {
    CountingHeap heap;
    Lock lock;
    PcmQueue queue{heap, lock};

    void Push(const Bytes& b) { ASSERT_TRUE(queue.PushCopy(b.data(), uint32_t(b.size()))); }
};

using PcmQueueTest = QueueFixture;

TEST_F(PcmQueueTest, FirstInFirstOutAndClear) {
    Push(Ramp(10, 0));
    Push(Ramp(20, 10));
    Push(Ramp(0)); // nothing to queue
    instream::PcmBlock b;
    ASSERT_TRUE(queue.Pop(b));
    EXPECT_EQ(Bytes(b.data, b.data + b.length), Ramp(10, 0));
    queue.FreeBlock(b);
    Push(Ramp(5, 30));
    ASSERT_TRUE(queue.Pop(b));
    EXPECT_EQ(b.length, 20u);
    queue.FreeBlock(b);
    ASSERT_TRUE(queue.Pop(b));
    EXPECT_EQ(b.length, 5u);
    queue.FreeBlock(b);
    EXPECT_FALSE(queue.Pop(b));
    EXPECT_TRUE(queue.Empty());

    Push(Ramp(3));
    Push(Ramp(4));
    queue.Clear();
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(heap.live, 0);

    heap.failAfter = 1; // the block's copy, but not its node
    EXPECT_FALSE(queue.PushCopy(Ramp(8).data(), 8));
    EXPECT_EQ(heap.live, 0);
}

TEST_F(PcmQueueTest, OverTheLimitTheOldestGoes) {
    queue.SetLimit(25);
    Push(Ramp(10, 0));
    Push(Ramp(10, 10));
    Push(Ramp(10, 20)); // 30 bytes: the first block goes
    EXPECT_EQ(queue.QueuedBytes(), 20u);
    Push(Ramp(40, 30)); // larger than the limit: stays alone
    EXPECT_EQ(queue.QueuedBytes(), 40u);
    EXPECT_EQ(queue.Dropped(), 3u);
    EXPECT_EQ(heap.live, 2); // one node and its block
    instream::PcmBlock b;
    ASSERT_TRUE(queue.Pop(b));
    EXPECT_EQ(Bytes(b.data, b.data + b.length), Ramp(40, 30));
    queue.FreeBlock(b);
    EXPECT_EQ(queue.QueuedBytes(), 0u);
}

using TakeChunkTest = QueueFixture;

TEST_F(TakeChunkTest, PartialTakeThenRestOfTheChunk) {
    ChunkReader reader(queue);
    reader.Reset(2304); // 576 stereo frames
    Bytes out(2304, 0xEE);
    EXPECT_EQ(reader.TakeChunk(out.data()), -1);

    const Bytes stream = Ramp(1000 + 5000);
    Push(Bytes(stream.begin(), stream.begin() + 1000));
    EXPECT_EQ(reader.TakeChunk(out.data()), 1000);
    EXPECT_EQ(reader.Pending(), 1000u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1000), Bytes(stream.begin(), stream.begin() + 1000));
    EXPECT_EQ(reader.TakeChunk(out.data()), -1);
    EXPECT_EQ(reader.Pending(), 1000u);

    Push(Bytes(stream.begin() + 1000, stream.end()));
    EXPECT_EQ(reader.TakeChunk(out.data()), 1304);
    EXPECT_EQ(reader.Pending(), 0u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 1304),
              Bytes(stream.begin() + 1000, stream.begin() + 2304));
    EXPECT_EQ(reader.TakeChunk(out.data()), 2304);
    EXPECT_EQ(out, Bytes(stream.begin() + 2304, stream.begin() + 4608));
    // 6000 - 4608 = 1392 left: a partial take again.
    EXPECT_EQ(reader.TakeChunk(out.data()), 1392);
    EXPECT_EQ(reader.Pending(), 1392u);
}

TEST_F(TakeChunkTest, ChunkAcrossSeveralBlocks) {
    ChunkReader reader(queue);
    reader.Reset(2304);
    const Bytes stream = Ramp(3000);
    Push(Bytes(stream.begin(), stream.begin() + 1000));
    Push(Bytes(stream.begin() + 1000, stream.begin() + 1100));
    Push(Bytes(stream.begin() + 1100, stream.end()));
    Bytes out(2304);
    EXPECT_EQ(reader.TakeChunk(out.data()), 2304);
    EXPECT_EQ(out, Bytes(stream.begin(), stream.begin() + 2304));
    EXPECT_EQ(reader.TakeChunk(out.data()), 696);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 696), Bytes(stream.begin() + 2304, stream.end()));

    // A block that ends exactly on a chunk boundary.
    reader.Reset(2304);
    Push(Ramp(2304));
    Push(Ramp(10, 99));
    EXPECT_EQ(reader.TakeChunk(out.data()), 2304);
    EXPECT_EQ(reader.TakeChunk(out.data()), 10);
    EXPECT_EQ(out[0], Ramp(10, 99)[0]);
    reader.Reset(0);
    EXPECT_EQ(heap.live, 0);
}

TEST(ChunkDuration, PerRate) {
    EXPECT_EQ(instream::ChunkDurationMs(44100), 13u);
    EXPECT_EQ(instream::ChunkDurationMs(22050), 26u);
    EXPECT_EQ(instream::ChunkDurationMs(11025), 52u);
}

struct LoopFixture : QueueFixture {
    FakeOutput output;
    FakeClock clock;
    instream::SessionStatus status;
    DecodeLoop loop{output, clock, status, queue, heap};

    void Handshake(int code, int32_t error = 0) {
        status.format = error ? nullptr : FindAudioFormat(code);
        status.error = error;
        status.state = error ? instream::SESSION_HANDSHAKE : instream::SESSION_STREAMING;
        status.handshakeFinished = 1;
    }
    // Runs Step until it sleeps, and returns how it sleeps.
    Next StepUntilIdle(int limit = 10000) {
        for (int i = 0; i < limit; ++i) {
            const Next n = loop.Step();
            if (n != Next::Again) {
                if (n == Next::Sleep10) clock.Sleep(10);
                if (n == Next::Sleep20) clock.Sleep(20);
                return n;
            }
        }
        ADD_FAILURE() << "loop never idled";
        return Next::End;
    }
};

using DecodeLoopTest = LoopFixture;

TEST_F(DecodeLoopTest, WaitsForTheHandshakeThenOpensTheOutputOnce) {
    EXPECT_EQ(StepUntilIdle(), Next::Sleep20);
    EXPECT_EQ(output.opens, 0);
    Handshake(1);
    EXPECT_EQ(StepUntilIdle(), Next::Sleep20);
    EXPECT_EQ(output.opens, 1);
    EXPECT_EQ((std::vector<int>(output.openArgs, output.openArgs + 5)),
              (std::vector<int>{44100, 2, 16, -1, -1}));
    EXPECT_EQ((std::vector<int>(output.setInfo, output.setInfo + 4)),
              (std::vector<int>{172, 44, 2, 1}));
    EXPECT_EQ(output.saInit[0], 500);
    EXPECT_EQ(output.saInit[1], 44100);
    EXPECT_EQ(output.vsaInfo[0], 44100);
    EXPECT_EQ(output.vsaInfo[1], 2);
    EXPECT_EQ(output.volume, -666);
    StepUntilIdle();
    EXPECT_EQ(output.opens, 1);
    EXPECT_TRUE(loop.OutputOpen());
}

TEST_F(DecodeLoopTest, NoAnswerWithinSevenSecondsEndsTheTrack) {
    const uint32_t start = clock.now;
    EXPECT_EQ(StepUntilIdle(), Next::Sleep20);
    clock.now = start + 7000;
    EXPECT_EQ(StepUntilIdle(), Next::Sleep20);
    std::atomic<int32_t> kill{0};
    loop.Run(kill);
    EXPECT_EQ(status.error, 10060);
    EXPECT_EQ(output.eofPosts, 1);
    EXPECT_EQ(output.opens, 0);
    EXPECT_EQ(status.decodeEnded, 1);
}

TEST_F(DecodeLoopTest, FailedHandshakeOrOutputEndsSilently) {
    Handshake(1, 10061);
    EXPECT_EQ(loop.Step(), Next::End);
    EXPECT_EQ(output.opens, 0);

    loop.Reset();
    status.Reset();
    output.openResult = -1;
    Handshake(4);
    EXPECT_EQ(loop.Step(), Next::End);
    EXPECT_EQ(output.opens, 1);
    EXPECT_EQ(output.eofPosts, 0);

    // Finished without a format (the network thread gave up): nothing to open.
    loop.Reset();
    status.Reset();
    status.handshakeFinished = 1;
    EXPECT_EQ(loop.Step(), Next::End);
    EXPECT_EQ(output.opens, 1);
}

TEST_F(DecodeLoopTest, WritesChunksAndCountsThePosition) {
    Handshake(1);
    StepUntilIdle();
    const Bytes pcm = Ramp(3 * 2304 + 1000);
    Push(pcm);
    EXPECT_EQ(StepUntilIdle(), Next::Sleep20);
    EXPECT_EQ(output.writes, (std::vector<int>{2304, 2304, 2304, 1000}));
    EXPECT_EQ(output.written, pcm);
    ASSERT_EQ(output.sa.size(), 4u);
    EXPECT_EQ(output.sa[1].timestamp, 13);
    EXPECT_EQ(output.sa[3].timestamp, 39);
    EXPECT_EQ(output.sa[0].channels, 2);
    EXPECT_EQ(output.sa[0].bits, 16);
    EXPECT_EQ(output.vsa.size(), 4u);
    // A partial chunk advances the position like a whole one.
    EXPECT_EQ(loop.DecodedPosition(), 52);

    // The output takes nothing: nothing is taken from the queue.
    output.canWrite = 1303;
    Push(Ramp(5000));
    EXPECT_EQ(StepUntilIdle(), Next::Sleep20);
    EXPECT_EQ(output.writes.size(), 4u);
    output.canWrite = 2304;
    StepUntilIdle();
    // The rest of the chunk that ran dry, then whole chunks again.
    EXPECT_EQ(output.writes, (std::vector<int>{2304, 2304, 2304, 1000, 1304, 2304, 1392}));
}

TEST_F(DecodeLoopTest, ActiveDspNeedsRoomForTwiceAChunk) {
    Handshake(2); // mono: 1152-byte chunks
    StepUntilIdle();
    output.dspActive = true;
    output.dspFactor = 2;
    Push(Ramp(1152 * 2));
    output.canWrite = 2 * 1152 - 1;
    EXPECT_EQ(StepUntilIdle(), Next::Sleep20);
    EXPECT_TRUE(output.writes.empty());
    output.canWrite = 2 * 1152;
    loop.Step();
    ASSERT_EQ(output.writes.size(), 1u);
    EXPECT_EQ(output.dspFrames, std::vector<int>{576});
    EXPECT_EQ(output.writes[0], 2 * 1152);

    // A DSP claiming more than the buffer holds is cut to the buffer.
    output.overrideDsp = true;
    output.dspResult = 100000;
    output.dspFactor = 1;
    loop.Step();
    ASSERT_EQ(output.writes.size(), 2u);
    EXPECT_EQ(output.writes[1], 2 * 1152);
    output.dspResult = -5;
    Push(Ramp(1152));
    loop.Step();
    EXPECT_EQ(output.writes[2], 0);
}

TEST_F(DecodeLoopTest, SevenSecondsOfSilenceDrainAndEndTheTrack) {
    Handshake(3);
    StepUntilIdle();
    Push(Ramp(2304));
    StepUntilIdle(); // writes the chunk, then finds the queue empty: silence starts
    const uint32_t start = clock.now - 20;
    while (clock.now - start <= 7000) {
        ASSERT_EQ(StepUntilIdle(), Next::Sleep20);
        ASSERT_FALSE(loop.Draining()) << clock.now - start;
    }
    StepUntilIdle();
    EXPECT_TRUE(loop.Draining());
    EXPECT_EQ(StepUntilIdle(), Next::Sleep10);
    EXPECT_EQ(output.eofPosts, 0);
    output.playing = false;
    EXPECT_EQ(loop.Step(), Next::End);
    EXPECT_EQ(output.eofPosts, 1);
}

TEST_F(DecodeLoopTest, PauseHoldsOffTheSilenceRule) {
    Handshake(1);
    StepUntilIdle();
    status.paused = 1;
    // Whether or not the output reports room while paused.
    for (int canWrite : {1 << 20, 0}) {
        output.canWrite = canWrite;
        for (int t = 0; t < 20000; t += 20)
            ASSERT_EQ(StepUntilIdle(), Next::Sleep20);
        EXPECT_FALSE(loop.Draining()) << canWrite;
    }
    output.canWrite = 1 << 20;
    status.paused = 0;
    for (int t = 0; t < 7000; t += 20)
        StepUntilIdle();
    EXPECT_FALSE(loop.Draining());
    StepUntilIdle();
    StepUntilIdle();
    EXPECT_TRUE(loop.Draining());
}

TEST_F(DecodeLoopTest, ClosedOrFailedSessionDrainsOnceTheQueueIsEmpty) {
    for (bool closed : {true, false}) {
        loop.Reset();
        status.Reset();
        output.eofPosts = 0;
        Handshake(4);
        StepUntilIdle();
        Push(Ramp(1152 * 3));
        if (closed)
            status.state = instream::SESSION_CLOSED;
        else
            status.error = 10054;
        StepUntilIdle(); // the queued audio still plays; silence starts
        EXPECT_FALSE(loop.Draining());
        StepUntilIdle(); // second empty take: the session has ended
        EXPECT_TRUE(loop.Draining()) << closed;
        output.playing = false;
        EXPECT_EQ(loop.Step(), Next::End);
        EXPECT_EQ(output.eofPosts, 1);
        output.playing = true;
    }
}

TEST_F(DecodeLoopTest, RunPlaysEverythingAndEndsOnItsOwn) {
    Handshake(2);
    const Bytes pcm = Ramp(10 * 1152 + 17);
    Push(pcm);
    output.playing = false;
    std::atomic<int32_t> kill{0};
    loop.Run(kill);
    EXPECT_EQ(output.written, pcm);
    EXPECT_EQ(output.eofPosts, 1);
    EXPECT_GT(clock.slept, 7000u);
    EXPECT_LT(clock.slept, 7200u);

    loop.Reset();
    status.Reset();
    Handshake(2);
    kill = 1;
    const int opens = output.opens;
    loop.Run(kill);
    EXPECT_EQ(output.opens, opens);
    loop.ReleaseBuffer();
    queue.Clear();
    loop.Reset();
}

} // namespace
