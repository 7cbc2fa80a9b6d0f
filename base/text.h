// Text helpers that every deliverable uses: the one decimal reader for the
// numbers that peers, settings files and users write, and the one way a text
// goes into a fixed zero-terminated room.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Plain decimal text: optional leading white space and one sign, then the
// leading digits; the first other character (a zero byte too) ends it, and no
// digits give 0. Values beyond the 32-bit range stay at its ends, as the
// platform's atoi does, so a hostile number of any length has one value.
int32_t ParseDecimal(std::string_view text);
// The same for a zero-terminated text, reading at most `maxChars` characters.
int32_t ParseDecimal(const char* text, size_t maxChars = SIZE_MAX);

// Zero-fills the room, then copies the text up to its first zero byte, cut to
// leave the terminator. Answers the characters copied.
size_t CopyText(char* room, size_t roomSize, std::string_view text);
template <size_t N> size_t CopyText(char (&room)[N], std::string_view text) {
    return CopyText(room, N, text);
}

// The text, or when it does not fit a room of `room` bytes (terminator
// included) as much of it as fits, cut after a whole word and followed by
// "..."; a first word too long for the room is cut where the room ends.
std::string FitText(std::string_view text, size_t room);
// FitText into a fixed room.
template <size_t N> void CopyFitted(char (&room)[N], std::string_view text) {
    CopyText(room, N, FitText(text, N));
}
