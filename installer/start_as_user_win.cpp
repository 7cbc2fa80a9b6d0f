// start_as_user.exe PROGRAM: starts PROGRAM as the logged-on user runs
// programs, not elevated. The installer runs elevated, and an agent started
// from it would be too: its objects would then be closed to the user's own
// player, and it would run with rights it never needs. The desktop's shell
// is the user's own process, so a program started as the shell's child takes
// the shell's token, session and desktop, and the environment of the shell's
// user: the installer's own is the elevating account's (its profile and
// application data folders under over-the-shoulder elevation).
//
// Exit codes: 0 started; 1 bad use; 2 no shell on this desktop (no user is
// logged on here: the agent starts at the next logon); 3 it could not be
// started.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600 // the process attributes; only Windows with UAC runs this
#include "base/owners_win.h"

#include <shellapi.h>
#include <userenv.h>

#include <string>
#include <vector>

namespace {

constexpr int kStarted = 0;
constexpr int kBadUse = 1;
constexpr int kNoShell = 2;
constexpr int kNotStarted = 3;

int StartFromShell(const std::wstring& program) {
    DWORD shellId = 0;
    const HWND shell = GetShellWindow();
    if (!shell || !GetWindowThreadProcessId(shell, &shellId)) return kNoShell;
    UniqueHandle parent(
        OpenProcess(PROCESS_CREATE_PROCESS | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
    if (!parent) return kNotStarted;
    HANDLE token = nullptr;
    void* environment = nullptr;
    if (OpenProcessToken(parent.Get(), TOKEN_QUERY | TOKEN_DUPLICATE, &token)) {
        UniqueHandle tokenOwner(token);
        if (!CreateEnvironmentBlock(&environment, token, FALSE)) environment = nullptr;
    }
    // Without the user's block the program would get ours, another account's.
    if (!environment) return kNotStarted;

    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> room(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(room.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return kNotStarted;
    HANDLE parentHandle = parent.Get();
    BOOL started = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS,
                                             &parentHandle, sizeof parentHandle, nullptr, nullptr);
    if (started) {
        STARTUPINFOEXW startup{};
        startup.StartupInfo.cb = sizeof startup;
        startup.lpAttributeList = attributes;
        PROCESS_INFORMATION process{};
        std::wstring commandLine = L"\"" + program + L"\"";
        const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
        started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                 EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT,
                                 environment, folder.empty() ? nullptr : folder.c_str(),
                                 &startup.StartupInfo, &process);
        if (started) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
    }
    DeleteProcThreadAttributeList(attributes);
    DestroyEnvironmentBlock(environment);
    return started ? kStarted : kNotStarted;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    LocalMemory argsOwner(args);
    if (!args || count != 2 || !*args[1]) return kBadUse;
    const std::wstring program = args[1];
    try {
        return StartFromShell(program);
    } catch (...) {
        return kNotStarted;
    }
}
