// peersim listen: hears a multicast group on one interface for a while and
// prints each computer that announced itself there, once. It only
// receives, so it may join a group on any interface of a test's own
// namespace.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "peers/presence.h"
#include "tools/netsafe.h"
#include "tools/peersim.h"

namespace {

const char* const kUsage = "--group ADDRESS --port N --if ADDRESS [--ms N]\n"
                           "    Prints 'heard ADDRESS COMPUTER' for each computer heard in N ms "
                           "(3000).";

int Run(int argc, char** argv) {
    uint32_t group = 0, interface = 0;
    long port = 0, ms = 3000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        const bool ok = opt == "--group"  ? netsafe::ParseIpv4(argv[i + 1], group)
                        : opt == "--if"   ? netsafe::ParseIpv4(argv[i + 1], interface)
                        : opt == "--port" ? peersim::ParseLong(argv[i + 1], 1, 65535, port)
                        : opt == "--ms"   ? peersim::ParseLong(argv[i + 1], 1, 60000, ms)
                                          : false;
        if (!ok) break;
    }
    if (!netsafe::IsMulticast(group) || !interface || !port) {
        std::fprintf(stderr, "usage: peersim listen %s\n", kUsage);
        return 2;
    }
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const int one = 1, zero = 0;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Only the group joined here, not every group another socket joined.
    setsockopt(s, IPPROTO_IP, IP_MULTICAST_ALL, &zero, sizeof zero);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(port));
    ip_mreq join{};
    join.imr_multiaddr.s_addr = htonl(group);
    join.imr_interface.s_addr = htonl(interface);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
        std::perror("peersim listen");
        return 1;
    }
    std::set<uint32_t> heard;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        pollfd p{s, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) break;
        uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t n = sizeof from;
        const ssize_t got =
            recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
        const uint32_t source = ntohl(from.sin_addr.s_addr);
        if (got <= 0 || !heard.insert(source).second) continue;
        auto record = ReadPresenceDatagram(buffer, static_cast<size_t>(got), source, 0);
        std::printf("heard %s %s\n", inet_ntoa(from.sin_addr), record ? record->computerName : "?");
        std::fflush(stdout);
    }
    close(s);
    return 0;
}

const peersim::RegisterMode kListen("listen", Run, kUsage);

} // namespace
