#include "wire/interfaces_win.h"

#include <ws2tcpip.h>

namespace {

constexpr size_t kMaxInterfaces = 64;

} // namespace

bool ReadLocalInterfaces(SOCKET socket, std::vector<LocalInterface>& out) {
    INTERFACE_INFO list[kMaxInterfaces] = {};
    DWORD bytes = 0;
    if (WSAIoctl(socket, SIO_GET_INTERFACE_LIST, nullptr, 0, list, sizeof list, &bytes, nullptr,
                 nullptr) != 0)
        return false;
    out.clear();
    for (size_t i = 0; i < bytes / sizeof *list && i < kMaxInterfaces; ++i) {
        const INTERFACE_INFO& f = list[i];
        if (f.iiAddress.Address.sa_family != AF_INET) continue;
        out.push_back({ntohl(f.iiAddress.AddressIn.sin_addr.s_addr),
                       ntohl(f.iiNetmask.AddressIn.sin_addr.s_addr), (f.iiFlags & IFF_UP) != 0,
                       (f.iiFlags & IFF_MULTICAST) != 0, (f.iiFlags & IFF_LOOPBACK) != 0});
    }
    return true;
}
