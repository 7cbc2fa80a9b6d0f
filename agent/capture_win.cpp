#include "agent/capture_win.h"

#include "agent/wav_file.h"

namespace agent {

namespace {

constexpr REFERENCE_TIME kBufferHns = 10000000; // one second of the device's sound
constexpr int kPacketsPerFeed = 64;
constexpr uint32_t kRetryMs = 1000;

bool Failed(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return false;
    char line[128];
    wsprintfA(line, "orvela_agent: loopback capture: %s failed, 0x%08X\n", what,
              static_cast<unsigned>(hr));
    OutputDebugStringA(line);
    return true;
}

} // namespace

bool LoopbackCapture::Open() {
    if (capture_) return true;
    IMMDeviceEnumerator* enumeratorRaw = nullptr;
    if (Failed(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumeratorRaw)),
               "the device enumerator"))
        return false;
    ComPtr<IMMDeviceEnumerator> enumerator(enumeratorRaw);
    IMMDevice* deviceRaw = nullptr;
    if (Failed(enumerator.Get()->GetDefaultAudioEndpoint(eRender, eConsole, &deviceRaw),
               "the default output device"))
        return false;
    ComPtr<IMMDevice> device(deviceRaw);
    IAudioClient* clientRaw = nullptr;
    if (Failed(device.Get()->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(&clientRaw)),
               "the audio client"))
        return false;
    ComPtr<IAudioClient> client(clientRaw);

    WAVEFORMATEX* mix = nullptr;
    if (Failed(client.Get()->GetMixFormat(&mix), "the mix format")) return false;
    const bool known = ReadWaveFormat(reinterpret_cast<const uint8_t*>(mix),
                                      sizeof(WAVEFORMATEX) + mix->cbSize, format_);
    const HRESULT initialized =
        known ? client.Get()->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_LOOPBACK,
                                         kBufferHns, 0, mix, nullptr)
              : E_NOTIMPL;
    CoTaskMemFree(mix);
    if (Failed(initialized, "loopback initialisation")) return false;
    IAudioCaptureClient* captureRaw = nullptr;
    // Wine's audio stack accepts the loopback initialisation but has no
    // capture service for it (0x88890003): the agent then has no sound.
    if (Failed(client.Get()->GetService(__uuidof(IAudioCaptureClient),
                                        reinterpret_cast<void**>(&captureRaw)),
               "the capture service"))
        return false;
    ComPtr<IAudioCaptureClient> capture(captureRaw);
    if (Failed(client.Get()->Start(), "starting")) return false;
    client_ = std::move(client);
    capture_ = std::move(capture);
    lost_ = false;
    return true;
}

void LoopbackCapture::Close() {
    if (client_) client_.Get()->Stop();
    capture_.Reset();
    client_.Reset();
}

void LoopbackCapture::Feed(PcmConverter& converter, size_t) {
    if (lost_ && !capture_ && GetTickCount() - lostTry_ >= kRetryMs) {
        lostTry_ = GetTickCount();
        // A device in another format needs a converter of its own: the next stream makes one.
        const PcmInputFormat before = format_;
        if (Open() && (format_.type != before.type || format_.channels != before.channels ||
                       format_.rate != before.rate))
            Close();
    }
    Drain(&converter);
}

void LoopbackCapture::Drain(PcmConverter* converter) {
    for (int i = 0; i < kPacketsPerFeed && capture_; ++i) {
        UINT32 waiting = 0;
        const HRESULT next = capture_.Get()->GetNextPacketSize(&waiting);
        if (next == AUDCLNT_E_DEVICE_INVALIDATED) {
            Close();
            lost_ = true;
            return;
        }
        if (FAILED(next) || waiting == 0) return;
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        if (FAILED(capture_.Get()->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) return;
        if (converter && frames) {
            if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
                silence_.assign(size_t{frames} * format_.FrameBytes(), 0);
                data = silence_.data();
            }
            converter->Push(data, frames);
        }
        capture_.Get()->ReleaseBuffer(frames);
    }
}

} // namespace agent
