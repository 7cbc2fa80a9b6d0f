#include "browser/listen_win.h"

#include <winsock2.h>

#include "base/owners_win.h"
#include "browser/wnd_win.h"
#include "peers/requests.h"
#include "sdk/wa_ipc.h"
#include "wire/location.h"

void ListenTo(const PeerRecord* record, HWND owner, const PlayerWindow& player) {
    if (!record) return;
    UniqueSocket s(socket(AF_INET, SOCK_DGRAM, 0));
    // The user-interface thread waits for the answer: a peer that never
    // answers must not freeze the player, so the wait ends with WSAETIMEDOUT.
    const DWORD timeout = kPermissionTimeoutMs;
    if (s)
        setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr(record->address);
    to.sin_port = htons(PermissionPort(record->port));

    char answer[agent::kMaxPermissionAnswer] = {};
    int got =
        sendto(s.Get(), agent::kNeedStream.data(), static_cast<int>(agent::kNeedStream.size()),
               MSG_DONTROUTE, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (got != SOCKET_ERROR) got = recvfrom(s.Get(), answer, sizeof answer, 0, nullptr, nullptr);
    if (got == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        s.Reset();
        ShowMessage(owner, PermissionErrorMessage(error), kPermissionErrorCaption);
        return;
    }
    s.Reset();
    if (IsRefusal(reinterpret_cast<const uint8_t*>(answer), static_cast<size_t>(got))) {
        ShowMessage(owner, RefusalMessage(record->computerName), kRefusalCaption);
        return;
    }
    const std::string location = instream::FormatStreamLocation(record->address, record->port,
                                                                DisplayName(record->computerName));
    player.EditorCommand(wa::CMD_PE_BEFORE_STREAM);
    player.AppendFile(location, owner);
    player.PlayLastEntry();
}
