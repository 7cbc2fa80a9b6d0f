// The settings file on Windows: the private-profile calls on
// gen_orvela.ini in the Plugins folder beside the host's executable.
#pragma once

#include <string>

#include "ui/settings.h"

class PrivateProfileStore : public ProfileStore {
  public:
    // An empty path is a file that cannot be found: reads give the defaults
    // and writes fail.
    explicit PrivateProfileStore(std::string path) : path_(std::move(path)) {}
    void GetString(const char* section, const char* key, const char* def, char* out,
                   size_t room) override;
    bool PutString(const char* section, const char* key, const char* value) override;

  private:
    std::string path_;
};

// The file's location, worked out afresh from the process's executable.
std::string SettingsFileLocation();

// Loads or saves at the current location; false when a value was not written.
void LoadBrowserSettings(CBrowserSettings& settings);
bool SaveBrowserSettings(const CBrowserSettings& settings);
