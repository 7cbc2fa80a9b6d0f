// An INI file in memory for the settings readers, cutting values as the
// private-profile calls do.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "ui/settings.h"

struct FakeStore : ProfileStore {
    std::map<std::string, std::string> values; // "SECTION/KEY" -> value
    int writes = 0;
    bool writable = true;

    void GetString(const char* section, const char* key, const char* def, char* out,
                   size_t room) override {
        auto it = values.find(std::string(section) + "/" + key);
        const std::string v = it == values.end() ? def : it->second;
        const size_t n = std::min(v.size(), room - 1);
        std::memcpy(out, v.data(), n);
        out[n] = 0;
    }
    bool PutString(const char* section, const char* key, const char* value) override {
        ++writes;
        if (writable) values[std::string(section) + "/" + key] = value;
        return writable;
    }
};
