// A whole file's bytes, for the small files read at once: a WAV file to
// share, a recording to compare.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Empty when the file cannot be opened.
std::vector<uint8_t> FileBytes(const std::string& path);
