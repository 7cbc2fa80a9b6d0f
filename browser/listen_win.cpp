#include "browser/listen_win.h"

#include <winsock2.h>

#include <algorithm>

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

    char answer[wire::kMaxPermissionAnswer] = {};
    int got = sendto(s.Get(), wire::kNeedStream.data(), static_cast<int>(wire::kNeedStream.size()),
                     MSG_DONTROUTE, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    // Only the computer asked answers: what anyone else sends meanwhile is
    // skipped, within the same wait.
    const DWORD start = GetTickCount();
    while (got != SOCKET_ERROR) {
        sockaddr_in from{};
        int fromLength = sizeof from;
        std::fill(answer, answer + sizeof answer, 0);
        got = recvfrom(s.Get(), answer, sizeof answer, 0, reinterpret_cast<sockaddr*>(&from),
                       &fromLength);
        const bool other = from.sin_family == AF_INET &&
                           !IsAnswerFrom(ntohl(to.sin_addr.s_addr), ntohs(to.sin_port),
                                         ntohl(from.sin_addr.s_addr), ntohs(from.sin_port));
        if (!other) break;
        const DWORD waited = GetTickCount() - start;
        if (waited >= timeout) {
            WSASetLastError(WSAETIMEDOUT);
            got = SOCKET_ERROR;
            break;
        }
        const DWORD left = timeout - waited;
        setsockopt(s.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&left),
                   sizeof left);
    }
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
    const std::string location = wire::FormatStreamLocation(record->address, record->port,
                                                            DisplayName(record->computerName));
    player.EditorCommand(wa::CMD_PE_BEFORE_STREAM);
    player.AppendFile(location, owner);
    player.PlayLastEntry();
}
