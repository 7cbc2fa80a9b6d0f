#include "wire/tagged_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Serialized(const CTaggedPacket& p) {
    Bytes out(std::max<size_t>(p.GetSize(), 2));
    p.Serialize(out.data());
    return out;
}

std::string Data(const TaggedField* f) {
    return std::string(reinterpret_cast<const char*>(f->data), f->length);
}

std::vector<std::pair<int, std::string>> Fields(const CTaggedPacket& p) {
    std::vector<std::pair<int, std::string>> out;
    for (const TaggedField* f = p.First(); f; f = f->next)
        out.emplace_back(f->tag, Data(f));
    return out;
}

const Bytes kWorkedExample = {0x15, 0x00, 0x06, 0x00, 0x02, 'P',  'C', '7', 0x06, 0x00, 0x01,
                              'a',  'n',  'n',  0x07, 0x00, 0x03, '5', '1', '4',  '6'};

TEST(TaggedPacket, WorkedExampleSerialisesAndParsesBack) {
    CTaggedPacket p;
    p.AddField(2, "PC7", 3);
    p.AddField(1, "ann", 3);
    p.AddField(3, "5146", 4);
    EXPECT_EQ(p.GetSize(), 21);
    EXPECT_EQ(Serialized(p), kWorkedExample);

    CTaggedPacket q;
    ASSERT_TRUE(q.Parse(kWorkedExample.data(), kWorkedExample.size()));
    EXPECT_EQ(Fields(q),
              (std::vector<std::pair<int, std::string>>{{2, "PC7"}, {1, "ann"}, {3, "5146"}}));
    const TaggedField* port = q.FindField(3);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->length, 4);
    EXPECT_EQ(Data(port), "5146");
    EXPECT_EQ(q.FindField(4), nullptr);
}

TEST(TaggedPacket, EmptyAndDegeneratePackets) {
    CTaggedPacket empty;
    EXPECT_EQ(empty.GetSize(), 0);
    EXPECT_EQ(Serialized(empty), (Bytes{0, 0}));
    EXPECT_EQ(empty.Serialize(nullptr), nullptr);

    for (Bytes in : {Bytes{0, 0}, Bytes{1, 0}, Bytes{2, 0}, Bytes{2, 0, 9, 9, 9}}) {
        CTaggedPacket p;
        EXPECT_TRUE(p.Parse(in.data(), in.size()));
        EXPECT_EQ(p.First(), nullptr);
    }
    CTaggedPacket p;
    const uint8_t one = 0;
    EXPECT_FALSE(p.Parse(&one, 1));
    EXPECT_FALSE(p.Parse(nullptr, 0));
}

TEST(TaggedPacket, EmptyFieldAndRepeatedTags) {
    CTaggedPacket p;
    p.AddField(7, nullptr, 0);
    p.AddField(9, "first", 5);
    p.AddField(9, "second", 6);
    const Bytes out = Serialized(p);
    EXPECT_EQ(Bytes(out.begin() + 2, out.begin() + 5), (Bytes{3, 0, 7}));

    CTaggedPacket q;
    ASSERT_TRUE(q.Parse(out.data(), out.size()));
    ASSERT_NE(q.FindField(7), nullptr);
    EXPECT_EQ(q.FindField(7)->length, 0);
    EXPECT_EQ(Data(q.FindField(9)), "first");
    EXPECT_EQ(Fields(q).size(), 3u);
}

TEST(TaggedPacket, FieldLengthUsesBothBytes) {
    CTaggedPacket p;
    const std::string big(297, 'x');
    p.AddField(4, big.data(), 297);
    p.AddField(5, "after", 5);
    const Bytes out = Serialized(p);
    EXPECT_EQ(out[2], 0x2C);
    EXPECT_EQ(out[3], 0x01);

    CTaggedPacket q;
    ASSERT_TRUE(q.Parse(out.data(), out.size()));
    EXPECT_EQ(Data(q.FindField(4)), big);
    EXPECT_EQ(Data(q.FindField(5)), "after");
}

TEST(TaggedPacket, ParseRefusesFieldsOutsideThePacketOrBuffer) {
    struct Case {
        const char* why;
        Bytes bytes;
    };
    const Case cases[] = {
        {"field length 0 would never advance", {7, 0, 0, 0, 1, 9, 9}},
        {"field length 2 is shorter than its header", {7, 0, 2, 0, 1, 9, 9}},
        {"field reaches past the total length", {7, 0, 6, 0, 1, 9, 9, 9, 9}},
        {"total length past the buffer", {30, 0, 5, 0, 1, 9, 9}},
        {"header cut by the total length", {4, 0, 3, 0, 1}},
        {"second field runs past the buffer", {12, 0, 4, 0, 1, 9, 40, 0, 2, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        CTaggedPacket p;
        EXPECT_FALSE(p.Parse(c.bytes.data(), c.bytes.size())) << c.why;
    }
    // A last field that ends before the total length is still walked.
    CTaggedPacket p;
    const Bytes loose = {9, 0, 4, 0, 1, 'a', 3, 0, 2};
    EXPECT_TRUE(p.Parse(loose.data(), loose.size()));
    EXPECT_EQ(Fields(p).size(), 2u);
}

TEST(TaggedPacket, SizeWrapsModulo65536AndClearEmpties) {
    CTaggedPacket p;
    const std::string chunk(65532, 'z');
    p.AddField(1, chunk.data(), 65532); // 65535 + 2 wraps to 1
    EXPECT_EQ(p.GetSize(), 1);
    p.Clear();
    EXPECT_EQ(p.First(), nullptr);
    EXPECT_EQ(p.GetSize(), 0);
}

} // namespace
