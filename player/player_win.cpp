#include "player/player_win.h"

#include <cstring>

#include "sdk/wa_ipc.h"

intptr_t PlayerWindow::Ipc(int ipc, intptr_t data) const {
    HWND w = Main();
    return w ? SendMessageA(w, wa::WM_WA_IPC, static_cast<WPARAM>(data), ipc) : 0;
}

void PlayerWindow::EditorCommand(int id) const {
    auto editor = reinterpret_cast<HWND>(Ipc(wa::IPC_GETWND, wa::IPC_GETWND_PE));
    if (editor && IsWindow(editor)) SendMessageA(editor, WM_COMMAND, id, 0);
}

void PlayerWindow::AppendFile(const std::string& name, HWND from) const {
    HWND w = Main();
    if (!w) return;
    char block[wa::kPlayFileRoom] = {};
    std::memcpy(block, name.data(), std::min(name.size(), sizeof block - 1));
    COPYDATASTRUCT data{};
    data.dwData = wa::IPC_PLAYFILE;
    data.cbData = sizeof block;
    data.lpData = block;
    SendMessageA(w, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&data));
}

void PlayerWindow::PlayLastEntry() const {
    const intptr_t length = Ipc(wa::IPC_GETLISTLENGTH, 0);
    if (length <= 0) return;
    Ipc(wa::IPC_SETPLAYLISTPOS, length - 1);
    if (HWND w = Main()) SendMessageA(w, WM_COMMAND, wa::CMD_PLAY, 0);
}
