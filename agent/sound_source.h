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
