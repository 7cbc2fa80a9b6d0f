// The computer's sound through the platform's audio session API, in the
// device's own mix format: by default the default output device captured
// in loopback (what the speakers play), or a recording device that the
// user named in the settings (line-in, a turntable, "Stereo Mix"). Never
// any other device: a name that matches nothing gives no sound at all,
// so a microphone is never opened in the user's place. Every failure
// leaves the source closed (and traced), so the agent refuses to stream
// rather than stream nothing.
#pragma once

#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "agent/audio_stream.h"
#include "agent/sound_source.h"
#include "base/owners_win.h"

namespace agent {

class DeviceCapture : public SoundSource {
  public:
    // `deviceName`: the SOUND_SOURCE setting.
    explicit DeviceCapture(std::string deviceName) : wanted_(std::move(deviceName)) {}
    ~DeviceCapture() override { Close(); }

    // A device that could not be opened is tried again at most once a second.
    bool Open() override;
    void Close() override;
    const PcmInputFormat& Format() const override { return format_; }
    // Drops what was captured before the stream began.
    void Restart() override { Drain(nullptr); }
    // Everything captured since the last call. Once a second it checks that
    // the device is still the one to capture (the default output may have
    // become a headset); a device that went away or changed is opened
    // again, and the converter follows a new mix format.
    void Feed(PcmConverter& converter, size_t frames) override;
    // Looked for at once, and shared from the next check on.
    void Choose(const std::string& device) override;

  private:
    bool OpenNow();
    void Drain(PcmConverter* converter);
    // The device to capture now, and its identity.
    ComPtr<IMMDevice> FindDevice(std::wstring& id);

    std::string wanted_;
    ComPtr<IAudioClient> client_;
    ComPtr<IAudioCaptureClient> capture_;
    std::wstring openId_; // the device open now
    PcmInputFormat format_;
    std::vector<uint8_t> silence_;
    RetryPacer opening_;  // attempts to open
    RetryPacer checking_; // checks that the device is still the one
};

// The friendly names of the recording devices the system lists as present.
std::vector<std::string> RecordingDeviceNames();

} // namespace agent
