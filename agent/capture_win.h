// The computer's sound: the default output device captured in loopback
// through the platform's audio session API, in the device's own mix format.
// Every failure leaves the source closed (and traced), so the agent refuses
// to stream rather than stream nothing.
#pragma once

#include <winsock2.h>
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h.
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <vector>

#include "agent/audio_stream.h"
#include "base/owners_win.h"

namespace agent {

class LoopbackCapture : public SoundSource {
  public:
    ~LoopbackCapture() override { Close(); }

    bool Open() override;
    void Close() override;
    const PcmInputFormat& Format() const override { return format_; }
    // Drops what was captured before the stream began.
    void Restart() override { Drain(nullptr); }
    // Everything captured since the last call; a device that went away is
    // opened again (the default one may have changed), at most once a second.
    void Feed(PcmConverter& converter, size_t frames) override;

  private:
    void Drain(PcmConverter* converter);

    ComPtr<IAudioClient> client_;
    ComPtr<IAudioCaptureClient> capture_;
    PcmInputFormat format_;
    std::vector<uint8_t> silence_;
    bool lost_ = false;    // the device went away while streaming
    uint32_t lostTry_ = 0; // tick count of the last attempt to open it again
};

} // namespace agent
