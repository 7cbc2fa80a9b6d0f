#include "base/text.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

int32_t ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // One past the largest magnitude either sign can hold; digits beyond it
    // cannot change the clamped result.
    constexpr int64_t kCap = int64_t{1} << 31;
    int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        if (value < kCap) value = value * 10 + (text[i] - '0');
    if (negative) return value >= kCap ? INT32_MIN : static_cast<int32_t>(-value);
    return value >= kCap ? INT32_MAX : static_cast<int32_t>(value);
}

int32_t ParseDecimal(const char* text, size_t maxChars) {
    return text ? ParseDecimal(std::string_view(text, strnlen(text, maxChars))) : 0;
}

size_t CopyText(char* room, size_t roomSize, std::string_view text) {
    if (!room || roomSize == 0) return 0;
    std::memset(room, 0, roomSize);
    size_t n = text.find('\0');
    if (n == std::string_view::npos) n = text.size();
    if (n > roomSize - 1) n = roomSize - 1;
    std::memcpy(room, text.data(), n);
    return n;
}

std::string FitText(std::string_view text, size_t room) {
    text = text.substr(0, text.find('\0'));
    if (room == 0) return {};
    if (text.size() < room) return std::string(text);
    constexpr std::string_view kMore = "...";
    if (room <= kMore.size() + 1) return std::string(text.substr(0, room - 1));
    const size_t keep = room - 1 - kMore.size();
    // The last space at or before the cut, so no word is broken.
    size_t end = text.substr(0, keep + 1).rfind(' ');
    if (end == std::string_view::npos || end == 0) end = keep;
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == ',' || text[end - 1] == '.'))
        --end;
    return std::string(text.substr(0, end)) + std::string(kMore);
}
