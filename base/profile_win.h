// An INI file through the platform's private-profile calls.
#pragma once

#include <string>

#include "base/profile.h"

class PrivateProfileStore : public ProfileStore {
  public:
    // An empty path is a file that cannot be found: reads give the defaults
    // and writes fail.
    explicit PrivateProfileStore(std::string path) : path_(std::move(path)) {}
    void GetString(const char* section, const char* key, const char* def, char* out,
                   size_t room) override;
    bool PutString(const char* section, const char* key, const char* value) override;
    std::string Where() const override { return path_; }

  private:
    std::string path_;
};
