#include "player/nowplaying_win.h"

#include <sddl.h>

#include <vector>

#include "sdk/wa_ipc.h"
#include "wire/protocol.h"

namespace {

// The block's access list: this user and SYSTEM may do anything. The player
// and the agent run as one user but not always with one token (either may be
// started elevated), and an elevated creator's defaults would leave the
// block closed to the other; its high integrity label would also keep a
// normal process from writing, so the label is medium.
std::string BlockSddl() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    char* sid = nullptr;
    if (!size || !GetTokenInformation(raw, TokenUser, user.data(), size, &size) ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
        return {};
    LocalMemory sidText(sid);
    return std::string("D:(A;;GA;;;") + sid + ")(A;;GA;;;SY)S:(ML;;NW;;;ME)";
}

void TraceOpenFailure(DWORD error) {
    // Once per failure, not at every retry.
    static DWORD traced = 0;
    if (error == traced) return;
    traced = error;
    char line[96];
    wsprintfA(line, "Orvela: the now-playing block cannot be opened (error %lu); trying again\n",
              error);
    OutputDebugStringA(line);
}

} // namespace

SddlSecurity::SddlSecurity(const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorA(
                            sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        OutputDebugStringA("Orvela: an access list could not be made; the defaults apply\n");
        return;
    }
    descriptor_.Reset(descriptor);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor;
}

NowPlayingBlock* OpenBlock() {
    // The mapping and view live as long as the plug-in is loaded: the agent
    // may read the block at any moment, and a restarted player finds it
    // again while the agent holds it open. Until one open succeeds, every
    // call tries again: the other side may close a block we may not use.
    static UniqueHandle mapping;
    static MappedView view;
    if (view) return static_cast<NowPlayingBlock*>(view.Get());

    bool created = false;
    mapping.Reset(OpenFileMappingA(FILE_MAP_WRITE, FALSE, wire::kNowPlayingName));
    if (!mapping) {
        SddlSecurity security(BlockSddl());
        mapping.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, security.Get(), PAGE_READWRITE, 0,
                                         sizeof(NowPlayingBlock), wire::kNowPlayingName));
        if (!mapping) {
            TraceOpenFailure(GetLastError());
            return nullptr;
        }
        // Another process may have created it between our open and create.
        created = GetLastError() != ERROR_ALREADY_EXISTS;
    }
    view.Reset(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(NowPlayingBlock)));
    if (!view) {
        TraceOpenFailure(GetLastError());
        mapping.Reset();
        return nullptr;
    }
    auto* block = static_cast<NowPlayingBlock*>(view.Get());
    if (created) InitNewBlock(*block);
    return block;
}

intptr_t WindowPlayerIpc::Send(int ipc, intptr_t data) {
    return SendMessageA(player_, wa::WM_WA_IPC, static_cast<WPARAM>(data),
                        static_cast<LPARAM>(ipc));
}
