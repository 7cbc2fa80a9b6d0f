// Which sound the agent shares, as its settings name it, and how often a
// sound device that is missing is looked for again.
#pragma once

#include <cstdint>
#include <string_view>

namespace agent {

// SOUND_SOURCE empty or "output": the default output device in loopback.
bool IsOutputLoopback(std::string_view setting);

// Whether the recording device `friendlyName` is the one the user named:
// the same name without regard to case, or that name followed by the
// adapter the platform puts in parentheses ("Stereo Mix" names "Stereo Mix
// (Realtek High Definition Audio)", never "Stereo Mix 2").
bool IsNamedDevice(std::string_view wanted, std::string_view friendlyName);

// What a capture call's result (an HRESULT) leaves the capture in. Any
// failure, not only a device invalidated but the audio service restarting
// or a failed buffer, leaves a client that never delivers again: it is
// closed, and the once-a-second reopen follows. A success with nothing
// waiting (no frames, or the "buffer empty" success code) ends this read.
enum class CaptureStep { Read, Wait, Reopen };
CaptureStep AfterCaptureCall(int32_t result, uint32_t frames);

// Lets an attempt through at most once per period of a tick clock.
class RetryPacer {
  public:
    explicit RetryPacer(uint32_t periodMs = 1000) : period_(periodMs) {}
    bool Due(uint32_t now) {
        if (tried_ && now - last_ < period_) return false;
        tried_ = true;
        last_ = now;
        return true;
    }
    void Reset() { tried_ = false; }

  private:
    uint32_t period_;
    uint32_t last_ = 0;
    bool tried_ = false;
};

} // namespace agent
