#include "tools/netsafe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

namespace netsafe {

bool ParseIpv4(const std::string& text, uint32_t& addr) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    addr = ntohl(a.s_addr);
    return true;
}

int OpenSafeUdp(uint32_t local, uint16_t port) {
    if (!IsLoopback(local)) {
        std::fprintf(stderr, "netsafe: refusing to bind a non-loopback address\n");
        return -1;
    }
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(local);
    sa.sin_port = htons(port);
    if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        std::perror("netsafe: bind");
        close(s);
        return -1;
    }
    in_addr ifaddr{};
    ifaddr.s_addr = htonl(local);
    unsigned char ttl = 1;
    if (setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &ifaddr, sizeof ifaddr) != 0 ||
        setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0) {
        std::perror("netsafe: multicast options");
        close(s);
        return -1;
    }
    return s;
}

bool SafeSendTo(int sock, uint32_t to, uint16_t port, const void* data, size_t len) {
    if (!IsLoopback(to) && !IsMulticast(to)) {
        std::fprintf(stderr, "netsafe: refusing to send outside 127.0.0.0/8\n");
        return false;
    }
    if (IsMulticast(to)) {
        // Multicast only from a socket whose outgoing interface is loopback.
        in_addr ifaddr{};
        socklen_t len_if = sizeof ifaddr;
        if (getsockopt(sock, IPPROTO_IP, IP_MULTICAST_IF, &ifaddr, &len_if) != 0 ||
            !IsLoopback(ntohl(ifaddr.s_addr))) {
            std::fprintf(stderr, "netsafe: multicast needs a loopback interface\n");
            return false;
        }
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(to);
    sa.sin_port = htons(port);
    return sendto(sock, data, len, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa) ==
           static_cast<ssize_t>(len);
}

} // namespace netsafe
