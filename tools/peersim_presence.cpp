// peersim presence: announces simulated computers the way the Orvela agent
// does, one tagged-field packet per datagram to the presence group. Each
// computer sends from its own loopback address (127.0.0.2 and up), so the
// plug-in, which ignores its own address, lists them all.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/netsafe.h"
#include "tools/peersim.h"
#include "wire/protocol.h"
#include "wire/tagged_packet.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxCount = 100000;
constexpr long kMaxDurationMs = 600000;
constexpr size_t kMaxDatagram = 65507; // the largest UDP payload over IPv4

struct Computer {
    std::string src;
    std::vector<std::pair<int, std::string>> fields; // in wire order
    bool raw = false;
    std::vector<uint8_t> rawBytes;
    long startMs = 0;
    long stopMs = -1; // -1: never stops before the run does
    uint32_t srcAddr = 0;
    int sock = -1;
    std::vector<uint8_t> datagram;
};

const char* const kUsage =
    "[--group ADDR] [--port N] [--interval MS] [--count N] [--duration MS] [--verbose]\n"
    "      --peer [--src ADDR] [--comp T] [--user T] [--title T] [--path T] [--req-port T]\n"
    "             [--tag N=T] [--raw HEX] [--start MS] [--stop MS]   (repeat --peer per computer)\n"
    "    Sends a presence packet per computer every interval to the group (default\n"
    "    225.5.5.100:5145; a 127.x address sends unicast) until count rounds or the\n"
    "    duration have passed. Computers send from 127.0.0.2, .3, ... unless --src says;\n"
    "    --start/--stop limit a computer to the rounds at those times since the first;\n"
    "    --raw sends the given bytes instead of a built packet.";

bool Build(Computer& c) {
    if (c.raw) {
        c.datagram = c.rawBytes;
        return c.datagram.size() <= kMaxDatagram;
    }
    size_t total = 2;
    for (const auto& f : c.fields)
        total += f.second.size() + CTaggedPacket::kFieldOverhead;
    if (total > kMaxDatagram) return false;
    CTaggedPacket p;
    for (const auto& [tag, text] : c.fields)
        p.AddField(static_cast<uint8_t>(tag), text.data(), static_cast<uint16_t>(text.size()));
    c.datagram.assign(std::max<size_t>(p.GetSize(), 2), 0);
    p.Serialize(c.datagram.data());
    return true;
}

int Run(int argc, char** argv) {
    std::string group = "225.5.5.100";
    long port = 5145, interval = 1000, count = 5, duration = 60000;
    bool verbose = false;
    std::vector<Computer> computers;

    auto fail = [](const char* what, const char* arg) {
        std::fprintf(stderr, "peersim presence: %s%s%s\n", what, arg ? ": " : "", arg ? arg : "");
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--verbose") {
            verbose = true;
            continue;
        }
        if (opt == "--peer") {
            computers.emplace_back();
            continue;
        }
        if (i + 1 >= argc) return fail("missing value after", argv[i]);
        const char* v = argv[++i];
        Computer* c = computers.empty() ? nullptr : &computers.back();
        auto field = [&](int tag) {
            if (!c) return false;
            c->fields.emplace_back(tag, v);
            return true;
        };
        bool ok = true;
        if (opt == "--group")
            group = v;
        else if (opt == "--port")
            ok = peersim::ParseLong(v, 1, 65535, port);
        else if (opt == "--interval")
            ok = peersim::ParseLong(v, 1, kMaxDurationMs, interval);
        else if (opt == "--count")
            ok = peersim::ParseLong(v, 1, kMaxCount, count);
        else if (opt == "--duration")
            ok = peersim::ParseLong(v, 1, kMaxDurationMs, duration);
        else if (opt == "--comp")
            ok = field(wire::PRESENCE_COMPUTER_NAME);
        else if (opt == "--user")
            ok = field(wire::PRESENCE_USER_NAME);
        else if (opt == "--req-port")
            ok = field(wire::PRESENCE_PORT);
        else if (opt == "--title")
            ok = field(wire::PRESENCE_TITLE);
        else if (opt == "--path")
            ok = field(wire::PRESENCE_SHARED_PATH);
        else if (opt == "--tag") {
            const char* eq = std::strchr(v, '=');
            long tag = 0;
            ok = c && eq && peersim::ParseLong(std::string(v, eq).c_str(), 0, 255, tag);
            if (ok) c->fields.emplace_back(static_cast<int>(tag), eq + 1);
        } else if (opt == "--src")
            ok = c && (c->src = v, true);
        else if (opt == "--raw")
            ok = c && (c->raw = true, peersim::ParseHex(v, c->rawBytes));
        else if (opt == "--start")
            ok = c && peersim::ParseLong(v, 0, kMaxDurationMs, c->startMs);
        else if (opt == "--stop")
            ok = c && peersim::ParseLong(v, 0, kMaxDurationMs, c->stopMs);
        else
            return fail("unknown option", argv[i - 1]);
        if (!ok) return fail(c ? "bad value for" : "give --peer before", argv[i - 1]);
    }
    if (computers.empty()) return fail("no --peer given", nullptr);

    uint32_t to = 0;
    if (!netsafe::ParseIpv4(group, to)) return fail("not an IPv4 address", group.c_str());
    for (size_t n = 0; n < computers.size(); ++n) {
        Computer& c = computers[n];
        if (c.src.empty()) c.src = "127.0.0." + std::to_string(2 + n);
        if (!netsafe::ParseIpv4(c.src, c.srcAddr) || !netsafe::IsLoopback(c.srcAddr))
            return fail("source must be a loopback address", c.src.c_str());
        if (!Build(c)) return fail("datagram too large for", c.src.c_str());
        c.sock = netsafe::OpenSafeUdp(c.srcAddr, 0);
        if (c.sock < 0) return fail("cannot open a socket on", c.src.c_str());
    }

    int status = 0;
    long sent = 0;
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::milliseconds(duration);
    for (long round = 0; round < count; ++round) {
        const auto due = start + std::chrono::milliseconds(round * interval);
        if (due >= deadline) break;
        std::this_thread::sleep_until(due);
        const long t = round * interval;
        for (Computer& c : computers) {
            if (t < c.startMs || (c.stopMs >= 0 && t >= c.stopMs)) continue;
            if (!netsafe::SafeSendTo(c.sock, to, static_cast<uint16_t>(port), c.datagram.data(),
                                     c.datagram.size())) {
                status = 1;
                continue;
            }
            ++sent;
            if (verbose)
                std::printf("%ld ms: %s -> %s:%ld, %zu bytes\n", t, c.src.c_str(), group.c_str(),
                            port, c.datagram.size());
        }
        std::fflush(stdout);
    }
    for (Computer& c : computers)
        close(c.sock);
    if (verbose) std::printf("sent %ld datagrams\n", sent);
    return status;
}

const peersim::RegisterMode kPresence("presence", Run, kUsage);

} // namespace
