// One INI file's strings behind a seam: the platform's private-profile calls
// in the programs, a map in the tests, so the parsing rules run the same
// against both.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kProfileValueRoom = 256;

// One INI file's strings, as the platform's private-profile calls give them.
class ProfileStore {
  public:
    virtual ~ProfileStore() = default;
    // Copies the value of section/key, or `def` when the key is absent, into
    // `out` of `room` bytes: cut to room - 1 characters and zero-terminated.
    virtual void GetString(const char* section, const char* key, const char* def, char* out,
                           size_t room) = 0;
    // Writes one value; false when it could not be written.
    virtual bool PutString(const char* section, const char* key, const char* value) = 0;
    // Where the values are written, for the user: a file's path.
    virtual std::string Where() const { return {}; }
};
