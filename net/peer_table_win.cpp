#include <windows.h>

#include "net/peer_table.h"

bool OpenForReading(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

int ProbeSharePath(const char* path, const char* computerName) {
    return ProbeSharePath(path, computerName, OpenForReading);
}
