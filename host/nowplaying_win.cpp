#include "host/nowplaying_win.h"

#include "net/agent.h"
#include "sdk/wa_ipc.h"

NowPlayingBlock* OpenBlock() {
    // The mapping and view live until the process ends: the agent may read
    // the block at any moment, and a restarted player finds it again while
    // the agent holds it open.
    static bool tried = false;
    static NowPlayingBlock* view = nullptr;
    if (tried) return view;
    tried = true;

    bool created = false;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, agent::kNowPlayingName);
    if (!mapping) {
        mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(NowPlayingBlock), agent::kNowPlayingName);
        if (!mapping) return nullptr;
        // Another process may have created it between our open and create.
        created = GetLastError() != ERROR_ALREADY_EXISTS;
    }
    void* p = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(NowPlayingBlock));
    if (!p) {
        CloseHandle(mapping);
        return nullptr;
    }
    view = static_cast<NowPlayingBlock*>(p);
    if (created) InitNewBlock(*view);
    return view;
}

intptr_t WindowPlayerIpc::Send(int ipc, intptr_t data) {
    return SendMessageA(player_, wa::WM_WA_IPC, static_cast<WPARAM>(data), static_cast<LPARAM>(ipc));
}
