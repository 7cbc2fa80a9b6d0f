#include "player/nowplaying_win.h"

#include "base/owners_win.h"

#include "sdk/wa_ipc.h"
#include "wire/protocol.h"

NowPlayingBlock* OpenBlock() {
    // The mapping and view live as long as the plug-in is loaded: the agent
    // may read the block at any moment, and a restarted player finds it
    // again while the agent holds it open.
    static bool tried = false;
    static UniqueHandle mapping;
    static MappedView view;
    if (tried) return static_cast<NowPlayingBlock*>(view.Get());
    tried = true;

    bool created = false;
    mapping.Reset(OpenFileMappingA(FILE_MAP_WRITE, FALSE, agent::kNowPlayingName));
    if (!mapping) {
        mapping.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(NowPlayingBlock), agent::kNowPlayingName));
        if (!mapping) return nullptr;
        // Another process may have created it between our open and create.
        created = GetLastError() != ERROR_ALREADY_EXISTS;
    }
    view.Reset(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(NowPlayingBlock)));
    if (!view) {
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
