// Stream locations: "\\orvela::" address ':' port '\' title, the file name
// that the browser puts into the playlist for a peer's sound.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wire {

constexpr std::string_view kLocationPrefix = "\\\\orvela::";
constexpr size_t kMaxAddressText = 19;
constexpr size_t kMaxPortText = 9;
constexpr size_t kMaxLocation = 263;

struct StreamLocation {
    std::string addressText; // as written, at most 19 characters
    uint32_t address = 0;    // host byte order; valid only when addressValid
    bool addressValid = false;
    uint16_t port = 0; // never 0: an unset or zero port means the default
    std::string title;
};

// Whether the player should hand this name to us: the prefix anywhere in it,
// in exactly this letter case.
bool IsStreamLocation(std::string_view name);

// The text after the last backslash, or the whole name when it has none.
std::string_view LocationTitle(std::string_view name);

// The location of a peer's sound, as the browser writes it into the
// playlist: "\\orvela::ADDRESS:PORT\NAME's computer audio stream". The port
// is written as a signed 16-bit number (0 when the peer announced none, so
// the default stream port applies; ports above 32767 come out negative and
// read back as themselves). Cut to fit the player's 256-byte name block.
std::string FormatStreamLocation(const char* address, uint16_t port, std::string_view displayName);

// Reads a location from its prefix on (normally the name's start). The address runs to the first
// ':' (or to a backslash or the end when there is none); the port text runs
// from there to the next backslash or the end, and is read as a signed
// decimal number used modulo 65536, 0 (also for text that is no number)
// meaning the default stream port. The address must be four dotted decimal
// numbers and not 0.0.0.0 or 255.255.255.255, or addressValid is false.
// Returns false, leaving `out` cleared, when the name lacks the prefix.
bool ParseStreamLocation(std::string_view name, StreamLocation& out);

} // namespace wire
