// Stands in for a system program in the installer's test. Named netsh.exe,
// it appends its arguments to calls.txt beside itself and succeeds. Under
// any other name it is the desktop's shell: when closed, it writes the names
// of the programs started as its children to children.txt beside itself.
// Given a file, it is some program holding that file open, unshared, until
// closed. Both write ready.txt once they are in place.
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <string>

extern "C" __declspec(dllimport) BOOL WINAPI SetShellWindow(HWND); // not in mingw's headers

namespace {

std::string Self() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

void Append(const char* file, const std::string& line) {
    std::string name = Self();
    name = name.substr(0, name.find_last_of('\\') + 1) + file;
    if (FILE* f = std::fopen(name.c_str(), "ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string self = Self();
    if (self.size() >= 9 && lstrcmpiA(self.c_str() + self.size() - 9, "netsh.exe") == 0) {
        // The arguments as they were written: past the program, quoted or not.
        const std::string line = GetCommandLineA();
        size_t at = line[0] == '"' ? line.find('"', 1) + 1 : line.find(' ');
        at = line.find_first_not_of(' ', at == std::string::npos ? line.size() : at);
        Append("calls.txt", at == std::string::npos ? "" : line.substr(at));
        return 0;
    }
    HWND window = CreateWindowExA(0, "STATIC", "stand-in", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr);
    HANDLE held = argc == 2
                      ? CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                      : INVALID_HANDLE_VALUE;
    if (argc == 2 ? held == INVALID_HANDLE_VALUE : !SetShellWindow(window)) return 1;
    Append("ready.txt", "");
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0 && m.message != WM_CLOSE)
        DispatchMessageA(&m);
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 p{};
    p.dwSize = sizeof p;
    for (BOOL more = Process32First(all, &p); more; more = Process32Next(all, &p))
        if (p.th32ParentProcessID == GetCurrentProcessId()) Append("children.txt", p.szExeFile);
    CloseHandle(all);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return 0;
}
