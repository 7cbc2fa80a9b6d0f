#include "base/profile_win.h"

#include <windows.h>

#include <cstring>

void PrivateProfileStore::GetString(const char* section, const char* key, const char* def,
                                    char* out, size_t room) {
    if (!out || room == 0) return;
    if (path_.empty()) {
        const size_t n = def ? strnlen(def, room - 1) : 0;
        if (n) std::memcpy(out, def, n);
        out[n] = 0;
        return;
    }
    GetPrivateProfileStringA(section, key, def, out, static_cast<DWORD>(room), path_.c_str());
}

bool PrivateProfileStore::PutString(const char* section, const char* key, const char* value) {
    return !path_.empty() &&
           WritePrivateProfileStringA(section, key, value, path_.c_str()) != FALSE;
}
