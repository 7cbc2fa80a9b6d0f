#include "base/errors.h"
#include "codec/ima_encoder.h"
#include "instream/session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instream_fakes.h"

namespace {

using codec::FindAudioFormat;
using instream::SessionStatus;
using instream::StreamSession;
using Record = instream::DatagramPort::SendRecord;
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

struct SessionTest : ::testing::Test {
    CountingHeap heap;
    Lock lock;
    instream::PcmQueue queue{heap, lock};
    codec::ImaDecoder decoder{heap};
    FakePort port;
    SessionStatus status;
    StreamSession session{port, decoder, queue, status};

    void Receive(const Bytes& b, int32_t error = 0) {
        session.OnReceiveComplete(error, b.data(), static_cast<uint32_t>(b.size()));
    }
    // Through "OPEN_STREAM" and its send completion to the posted answer receive.
    void Open() {
        ASSERT_EQ(session.Begin(), 0);
        session.OnSendComplete(0, 11);
    }
    void Answer(const std::string& answer) {
        Open();
        Receive(Text(answer));
    }
    Bytes QueuedPcm() {
        Bytes all;
        instream::PcmBlock b;
        while (queue.Pop(b)) {
            all.insert(all.end(), b.data, b.data + b.length);
            queue.FreeBlock(b);
        }
        return all;
    }
    Bytes Blocks(int code, int count) {
        const auto& f = *FindAudioFormat(code);
        codec::ImaEncoder enc(f);
        std::vector<int16_t> frames(f.samplesPerBlock * f.channels);
        Bytes out(count * f.blockSize);
        for (int b = 0; b < count; ++b) {
            for (size_t i = 0; i < frames.size(); ++i)
                frames[i] = static_cast<int16_t>((i * 37 + b * 1000) % 20000 - 10000);
            enc.EncodeBlock(frames.data(), out.data() + b * f.blockSize);
        }
        return out;
    }
    Bytes Decoded(int code, const Bytes& adpcm) {
        const auto& f = *FindAudioFormat(code);
        Bytes pcm(adpcm.size() / f.blockSize * f.PcmBlockBytes());
        pcm.resize(codec::DecodeImaBlocks(f, adpcm.data(), adpcm.size(), pcm.data(), pcm.size()));
        return pcm;
    }
};

TEST_F(SessionTest, HandshakeSendsOpenStreamThenListens) {
    port.sendResult = 10051;
    EXPECT_EQ(session.Begin(), 10051);
    EXPECT_EQ(status.error, 10051);
    port.sendResult = 0;

    ASSERT_EQ(session.Begin(), 0);
    ASSERT_EQ(port.sent.size(), 2u);
    EXPECT_EQ(port.sent[1].text, "OPEN_STREAM");
    EXPECT_EQ(port.sent[1].record, Record::Session);
    EXPECT_EQ(status.state, instream::SESSION_HANDSHAKE);
    EXPECT_TRUE(port.receives.empty());
    session.OnSendComplete(0, 11);
    EXPECT_EQ(port.receives, std::vector<uint32_t>{0});
    EXPECT_EQ(session.HandshakeStep(), 1);
    EXPECT_EQ(status.handshakeFinished, 0);
}

TEST_F(SessionTest, AcceptedAnswersOpenTheDecoder) {
    const struct {
        const char* answer;
        int code;
    } cases[] = {{"OK~1", 1}, {"ok~2", 2}, {"Ok~3", 3}, {"oK~4 and more", 4}, {"OK~5", 5}};
    for (const auto& c : cases) {
        status.Reset();
        port.receives.clear();
        Answer(c.answer);
        EXPECT_EQ(status.error, 0) << c.answer;
        EXPECT_EQ(status.state, instream::SESSION_STREAMING) << c.answer;
        EXPECT_EQ(status.handshakeFinished, 1);
        ASSERT_NE(status.format.load(), nullptr);
        EXPECT_EQ(status.format.load()->code, c.code);
        // The first audio receive asks for 21 blocks.
        EXPECT_EQ(port.receives.back(), 21u * FindAudioFormat(c.code)->blockSize) << c.answer;
    }
}

TEST_F(SessionTest, RefusedAndUnrecognisedAnswers) {
    const struct {
        std::string answer;
        int32_t error;
        int32_t state;
    } cases[] = {
        {"DENY", 10061, instream::SESSION_DENIED},
        {"deny", 10061, instream::SESSION_DENIED},
        {std::string("DeNy\0\0\0", 7), 10061, instream::SESSION_DENIED},
        {"DENIED", 10061, instream::SESSION_HANDSHAKE},
        {"hello", 10061, instream::SESSION_HANDSHAKE},
        {"OK", 10061, instream::SESSION_HANDSHAKE},
        {"OK~", 512, instream::SESSION_HANDSHAKE},
        {"OK~0", 512, instream::SESSION_HANDSHAKE},
        {"OK~6", 512, instream::SESSION_HANDSHAKE},
        {"OK~x", 512, instream::SESSION_HANDSHAKE},
        {"OK~-1", 512, instream::SESSION_HANDSHAKE},
    };
    for (const auto& c : cases) {
        status.Reset();
        port.receives.clear();
        Answer(c.answer);
        EXPECT_EQ(status.error, c.error) << c.answer;
        EXPECT_EQ(status.state, c.state) << c.answer;
        EXPECT_EQ(status.handshakeFinished, 1) << c.answer;
        EXPECT_EQ(status.format.load(), nullptr) << c.answer;
        EXPECT_EQ(port.receives.size(), 1u) << "no audio receive after " << c.answer;
    }
    EXPECT_EQ(heap.live, 0);
}

TEST_F(SessionTest, FailedCompletionsAndReceives) {
    Open();
    Receive(Bytes{}, 0); // an empty datagram fails like a broken completion
    EXPECT_EQ(status.error, 10054);
    EXPECT_EQ(status.handshakeFinished, 0);
    Receive(Text("OK~1"), 10022);
    EXPECT_EQ(status.error, 10054);
    EXPECT_EQ(status.state, instream::SESSION_HANDSHAKE);

    // The answer arrives but its audio receive cannot be posted.
    port.receiveResult = 10055;
    Receive(Text("OK~1"));
    EXPECT_EQ(status.error, 10055);
    EXPECT_EQ(status.state, instream::SESSION_HANDSHAKE);
    EXPECT_EQ(status.handshakeFinished, 1);

    // A failed send completion during the handshake never posts the receive.
    status.Reset();
    port.receives.clear();
    ASSERT_EQ(session.Begin(), 0);
    session.OnSendComplete(10065, 0);
    EXPECT_EQ(status.error, 10054);
    EXPECT_TRUE(port.receives.empty());
}

TEST_F(SessionTest, AudioIsDecodedIntoTheQueue) {
    Answer("OK~3");
    const Bytes adpcm = Blocks(3, 4);
    port.receives.clear();
    Receive(adpcm);
    EXPECT_EQ(status.error, 0);
    EXPECT_EQ(port.receives, std::vector<uint32_t>{21u * 1024u});
    EXPECT_EQ(QueuedPcm(), Decoded(3, adpcm));

    // Not whole blocks: the trailing part is not decoded.
    Bytes ragged = Blocks(3, 2);
    ragged.resize(ragged.size() + 300, 0x5A);
    Receive(ragged);
    EXPECT_EQ(QueuedPcm(), Decoded(3, Bytes(ragged.begin(), ragged.begin() + 2048)));

    // Thirty bytes are audio, though less than a block: nothing is queued,
    // and the next receive is posted.
    port.receives.clear();
    Receive(Bytes(30, 0x33));
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(port.receives.size(), 1u);

    // A datagram cut to the buffer size (WSAEMSGSIZE) is decoded as far as it came.
    const Bytes full = Blocks(3, 21);
    session.OnReceiveComplete(10040, full.data(), static_cast<uint32_t>(full.size()));
    EXPECT_EQ(status.error, 0);
    EXPECT_EQ(QueuedPcm(), Decoded(3, full));
}

TEST_F(SessionTest, ShortDatagramsAreControlTexts) {
    Answer("OK~5");
    port.sent.clear();
    port.receives.clear();

    Receive(Text("PING"));
    Receive(Text("ping"));
    Receive(Bytes{'P', 'i', 'N', 'g', 0, 'x', 'y'});
    ASSERT_EQ(port.sent.size(), 3u);
    for (const auto& s : port.sent) {
        EXPECT_EQ(s.text, "PING_OK");
        EXPECT_EQ(s.record, Record::Session);
    }
    EXPECT_EQ(port.receives.size(), 3u);

    // 29 bytes of what would be audio are never decoded.
    const Bytes block = Blocks(5, 1);
    Receive(Bytes(block.begin(), block.begin() + 29));
    EXPECT_TRUE(queue.Empty());
    // Neither it, an empty datagram nor a reset ends the receiving.
    Receive(Bytes{});
    Receive(Text("x"), 10054);
    EXPECT_EQ(port.receives.size(), 6u);
    EXPECT_EQ(status.error, 0);
    EXPECT_EQ(status.state, instream::SESSION_STREAMING);

    Receive(Text("close_stream"));
    EXPECT_EQ(status.state, instream::SESSION_CLOSED);
    EXPECT_EQ(port.receives.size(), 6u);
    // Closed: later datagrams are not looked at.
    Receive(Text("PING"));
    EXPECT_EQ(port.sent.size(), 3u);
}

TEST_F(SessionTest, TheQueueKeepsFourSecondsAndNothingOnceDecodingEnded) {
    Answer("OK~5");
    const Bytes adpcm = Blocks(5, 21); // 0.96 s
    for (int i = 0; i < 10; ++i)
        Receive(adpcm);
    EXPECT_LE(queue.QueuedBytes(), 4u * 22050u);
    EXPECT_EQ(queue.Dropped(), 6u);
    status.decodeEnded = 1;
    queue.Clear();
    Receive(adpcm);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(port.receives.size(), 13u); // and the receiving goes on
}

TEST_F(SessionTest, FailedPingAnswerStopsListening) {
    Answer("OK~2");
    port.receives.clear();
    port.sendResult = 10065;
    Receive(Text("PING"));
    EXPECT_EQ(status.error, 10065);
    EXPECT_TRUE(port.receives.empty());
}

TEST_F(SessionTest, PausedAudioIsDroppedButPingAnswered) {
    Answer("OK~4");
    status.paused = 1;
    port.receives.clear();
    Receive(Blocks(4, 3));
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(port.receives.size(), 1u);
    Receive(Text("PING"));
    EXPECT_EQ(port.sent.back().text, "PING_OK");
    EXPECT_EQ(port.receives.size(), 2u);
    status.paused = 0;
    const Bytes adpcm = Blocks(4, 2);
    Receive(adpcm);
    EXPECT_EQ(QueuedPcm(), Decoded(4, adpcm));
}

TEST_F(SessionTest, SendCompletionsWhileStreamingAreIgnored) {
    Answer("OK~1");
    port.receives.clear();
    session.OnSendComplete(0, 7);
    EXPECT_TRUE(port.receives.empty());
    EXPECT_EQ(status.error, 0);
}

TEST_F(SessionTest, CloseAndEnd) {
    Answer("OK~1");
    EXPECT_EQ(session.SendClose(), 0);
    EXPECT_EQ(port.sent.back().text, "CLOSE_STREAM");
    EXPECT_EQ(port.sent.back().record, Record::Close);
    EXPECT_EQ(heap.live, 2);
    session.End();
    EXPECT_EQ(heap.live, 0);
    EXPECT_EQ(status.handshakeFinished, 1);

    // The network thread giving up before any answer also finishes the handshake.
    status.Reset();
    ASSERT_EQ(session.Begin(), 0);
    session.End();
    EXPECT_EQ(status.handshakeFinished, 1);
    EXPECT_EQ(status.format.load(), nullptr);
}

} // namespace
