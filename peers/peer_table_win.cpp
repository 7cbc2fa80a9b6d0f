#include "peers/peer_table.h"

#include "base/owners_win.h"

bool OpenForReading(const std::string& path) {
    const UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

int ProbeSharePath(const char* path, const char* computerName) {
    return ProbeSharePath(path, computerName, OpenForReading);
}
