#include "wire/location.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using wire::ParseStreamLocation;
using wire::StreamLocation;

StreamLocation Parse(const std::string& name) {
    StreamLocation loc;
    EXPECT_TRUE(ParseStreamLocation(name, loc)) << name;
    return loc;
}

uint32_t Ip(int a, int b, int c, int d) {
    return (uint32_t(a) << 24) | (uint32_t(b) << 16) | (uint32_t(c) << 8) | uint32_t(d);
}

TEST(StreamLocation, WellFormedLocation) {
    const StreamLocation loc = Parse("\\\\orvela::192.168.1.20:6010\\Ann's computer audio stream");
    EXPECT_EQ(loc.addressText, "192.168.1.20");
    EXPECT_TRUE(loc.addressValid);
    EXPECT_EQ(loc.address, Ip(192, 168, 1, 20));
    EXPECT_EQ(loc.port, 6010);
    EXPECT_EQ(loc.title, "Ann's computer audio stream");
}

TEST(StreamLocation, PortForms) {
    struct Case {
        const char* text;
        uint16_t port;
    } cases[] = {
        {"0", 5150},
        {"", 5150},
        {"abc", 5150},
        {"-25536", 40000},
        {"-1", 65535},
        {"65536", 5150},
        {"70000", 4464},
        {"+123", 123},
        {" 42", 42},
        {"12x", 12},
        {"32767", 32767},
        {"-32768", 32768},
        {"-65535", 1},
        // Only 9 characters of port text are read.
        {"1234567890", static_cast<uint16_t>(123456789 % 65536)},
    };
    for (const Case& c : cases) {
        const StreamLocation loc = Parse(std::string("\\\\orvela::127.0.0.2:") + c.text + "\\t");
        EXPECT_EQ(loc.port, c.port) << "port text '" << c.text << "'";
        EXPECT_TRUE(loc.addressValid);
    }
}

TEST(StreamLocation, AddressForms) {
    for (const char* bad :
         {"", "127.1", "256.0.0.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "0.0.0.0", "255.255.255.255",
          "1..2.3", " 1.2.3.4", "1234.1.1.1", "127.0.0.010", "0x7f.0.0.1"}) {
        const StreamLocation loc = Parse(std::string("\\\\orvela::") + bad + ":5150\\t");
        EXPECT_FALSE(loc.addressValid) << bad;
        EXPECT_EQ(loc.addressText, bad);
    }
    // Address text longer than 19 characters is cut, and then fails.
    const StreamLocation longer = Parse("\\\\orvela::127.000.000.0001:5150\\t");
    EXPECT_EQ(longer.addressText, "127.000.000.0001");
    EXPECT_FALSE(longer.addressValid);
    const StreamLocation cut = Parse("\\\\orvela::127.0.0.2aaaaaaaaaaaaaaaaaa:5150\\t");
    EXPECT_EQ(cut.addressText.size(), wire::kMaxAddressText);
    EXPECT_FALSE(cut.addressValid);
    // Leading zeros are refused: the platform would read "010" as octal 8.
    EXPECT_FALSE(Parse("\\\\orvela::010.0.0.9:1\\t").addressValid);
}

TEST(StreamLocation, LocationsCutShort) {
    // No ':' after the address: the address ends at the backslash, default port.
    StreamLocation loc = Parse("\\\\orvela::127.0.0.2\\Bob's computer audio stream");
    EXPECT_TRUE(loc.addressValid);
    EXPECT_EQ(loc.address, Ip(127, 0, 0, 2));
    EXPECT_EQ(loc.port, 5150);
    EXPECT_EQ(loc.title, "Bob's computer audio stream");

    // No backslash after the port: the port runs to the end; the title is
    // what follows the prefix's own last backslash.
    loc = Parse("\\\\orvela::127.0.0.2:-25536");
    EXPECT_EQ(loc.port, 40000);
    EXPECT_EQ(loc.title, "orvela::127.0.0.2:-25536");

    loc = Parse("\\\\orvela::127.0.0.2");
    EXPECT_TRUE(loc.addressValid);
    EXPECT_EQ(loc.port, 5150);

    loc = Parse("\\\\orvela::");
    EXPECT_FALSE(loc.addressValid);
    EXPECT_EQ(loc.port, 5150);

    StreamLocation none;
    EXPECT_FALSE(ParseStreamLocation("\\\\orvela:", none));
    EXPECT_FALSE(ParseStreamLocation("", none));
    EXPECT_FALSE(ParseStreamLocation("\\\\ORVELA::127.0.0.2:1\\t", none));
}

TEST(StreamLocation, EveryTruncationStaysInBounds) {
    // Each prefix of a location in a buffer of exactly its size, so that the
    // sanitizer sees any read past the end.
    const std::string full = "\\\\orvela::127.0.0.2:-25536\\Ann's computer audio stream";
    for (size_t n = 0; n <= full.size(); ++n) {
        std::vector<char> exact(full.begin(), full.begin() + static_cast<long>(n));
        StreamLocation loc;
        const bool parsed = ParseStreamLocation(std::string_view(exact.data(), n), loc);
        EXPECT_EQ(parsed, n >= wire::kLocationPrefix.size()) << n;
        if (parsed) {
            EXPECT_NE(loc.port, 0) << n;
        }
        (void)wire::LocationTitle(std::string_view(exact.data(), n));
        (void)wire::IsStreamLocation(std::string_view(exact.data(), n));
    }
}

TEST(StreamLocation, PrefixElsewhereInTheName) {
    EXPECT_TRUE(wire::IsStreamLocation("C:\\list\\\\orvela::127.0.0.2:1\\x"));
    EXPECT_FALSE(wire::IsStreamLocation("\\\\Orvela::127.0.0.2:1\\x"));
    EXPECT_FALSE(wire::IsStreamLocation("C:\\music\\song.mp3"));
    EXPECT_EQ(wire::LocationTitle("no backslash at all"), "no backslash at all");
    const StreamLocation loc = Parse("C:\\list\\\\orvela::127.0.0.3:7000\\x");
    EXPECT_EQ(loc.address, Ip(127, 0, 0, 3));
    EXPECT_EQ(loc.port, 7000);
    EXPECT_EQ(loc.title, "x");
}

} // namespace
