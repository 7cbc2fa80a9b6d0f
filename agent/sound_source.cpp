#include "agent/sound_source.h"

namespace agent {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

CaptureStep AfterCaptureCall(int32_t result, uint32_t frames) {
    constexpr int32_t kBufferEmpty = 0x08890001; // AUDCLNT_S_BUFFER_EMPTY
    if (result < 0) return CaptureStep::Reopen;
    return result == kBufferEmpty || frames == 0 ? CaptureStep::Wait : CaptureStep::Read;
}

bool IsOutputLoopback(std::string_view setting) {
    setting = Trimmed(setting);
    return setting.empty() || SameText(setting, "output");
}

bool IsNamedDevice(std::string_view wanted, std::string_view friendlyName) {
    wanted = Trimmed(wanted);
    if (wanted.empty()) return false;
    if (SameText(wanted, friendlyName)) return true;
    return friendlyName.size() > wanted.size() + 2 &&
           SameText(wanted, friendlyName.substr(0, wanted.size())) &&
           friendlyName.substr(wanted.size(), 2) == " (" && friendlyName.back() == ')';
}

} // namespace agent
