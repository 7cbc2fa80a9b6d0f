#include "agent/capture_win.h"

#include <propidl.h>
#include <propsys.h>

#include "agent/wav_file.h"

namespace agent {

namespace {

constexpr REFERENCE_TIME kBufferHns = 10000000; // one second of the device's sound
constexpr int kPacketsPerFeed = 64;
// The device's name, as the sound settings show it.
constexpr PROPERTYKEY kFriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

bool Failed(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return false;
    char line[160];
    wsprintfA(line, "orvela_agent: sound capture: %s failed, 0x%08X\n", what,
              static_cast<unsigned>(hr));
    OutputDebugStringA(line);
    return true;
}

std::wstring DeviceId(IMMDevice* device) {
    LPWSTR raw = nullptr;
    if (FAILED(device->GetId(&raw))) return {};
    const TaskMemory<WCHAR> id(raw);
    return id ? std::wstring(id.Get()) : std::wstring();
}

std::string FriendlyName(IMMDevice* device) {
    IPropertyStore* storeRaw = nullptr;
    if (FAILED(device->OpenPropertyStore(STGM_READ, &storeRaw))) return {};
    ComPtr<IPropertyStore> store(storeRaw);
    PROPVARIANT value;
    PropVariantInit(&value);
    char text[256] = {};
    if (SUCCEEDED(store.Get()->GetValue(kFriendlyName, &value)) && value.vt == VT_LPWSTR)
        WideCharToMultiByte(CP_ACP, 0, value.pwszVal, -1, text, sizeof text - 1, nullptr, nullptr);
    PropVariantClear(&value);
    return text;
}

ComPtr<IMMDeviceEnumerator> DeviceEnumerator() {
    IMMDeviceEnumerator* enumeratorRaw = nullptr;
    if (Failed(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumeratorRaw)),
               "the device enumerator"))
        return {};
    return ComPtr<IMMDeviceEnumerator>(enumeratorRaw);
}

// The first present recording device that `pick` (given its name) takes.
template <class Pick> ComPtr<IMMDevice> FindRecordingDevice(IMMDeviceEnumerator* e, Pick&& pick) {
    IMMDeviceCollection* listRaw = nullptr;
    if (Failed(e->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &listRaw),
               "the recording devices"))
        return {};
    ComPtr<IMMDeviceCollection> list(listRaw);
    UINT count = 0;
    list.Get()->GetCount(&count);
    for (UINT i = 0; i < count; ++i) {
        IMMDevice* deviceRaw = nullptr;
        if (FAILED(list.Get()->Item(i, &deviceRaw))) continue;
        ComPtr<IMMDevice> device(deviceRaw);
        if (pick(FriendlyName(device.Get()))) return device;
    }
    return {};
}

bool SameFormat(const PcmInputFormat& a, const PcmInputFormat& b) {
    return a.type == b.type && a.channels == b.channels && a.rate == b.rate &&
           a.channelMask == b.channelMask;
}

} // namespace

std::vector<std::string> RecordingDeviceNames() {
    // Called from the user-interface thread, which keeps no COM of its own.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<std::string> names;
    if (ComPtr<IMMDeviceEnumerator> enumerator = DeviceEnumerator())
        FindRecordingDevice(enumerator.Get(), [&](const std::string& name) {
            if (!name.empty()) names.push_back(name);
            return false;
        });
    if (SUCCEEDED(com)) CoUninitialize();
    return names;
}

void DeviceCapture::Choose(const std::string& device) {
    wanted_ = device;
    Close();
    opening_.Reset();
}

ComPtr<IMMDevice> DeviceCapture::FindDevice(std::wstring& id) {
    ComPtr<IMMDeviceEnumerator> enumerator = DeviceEnumerator();
    if (!enumerator) return {};
    IMMDevice* deviceRaw = nullptr;
    if (IsOutputLoopback(wanted_)) {
        if (Failed(enumerator.Get()->GetDefaultAudioEndpoint(eRender, eConsole, &deviceRaw),
                   "the default output device"))
            return {};
        ComPtr<IMMDevice> device(deviceRaw);
        id = DeviceId(device.Get());
        return device;
    }
    ComPtr<IMMDevice> device = FindRecordingDevice(
        enumerator.Get(), [&](const std::string& name) { return IsNamedDevice(wanted_, name); });
    if (device) {
        id = DeviceId(device.Get());
        return device;
    }
    OutputDebugStringA("orvela_agent: sound capture: no recording device has the name of "
                       "SOUND_SOURCE\n");
    return {};
}

bool DeviceCapture::Open() {
    if (capture_) return true;
    // A missing device is looked for at most once a second, not at every request.
    if (!opening_.Due(GetTickCount())) return false;
    return OpenNow();
}

bool DeviceCapture::OpenNow() {
    std::wstring id;
    ComPtr<IMMDevice> device = FindDevice(id);
    if (!device) return false;
    IAudioClient* clientRaw = nullptr;
    if (Failed(device.Get()->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                      reinterpret_cast<void**>(&clientRaw)),
               "the audio client"))
        return false;
    ComPtr<IAudioClient> client(clientRaw);

    WAVEFORMATEX* mixRaw = nullptr;
    if (Failed(client.Get()->GetMixFormat(&mixRaw), "the mix format")) return false;
    const TaskMemory<WAVEFORMATEX> mixOwner(mixRaw);
    WAVEFORMATEX* mix = mixOwner.Get();
    if (!mix) return false;
    PcmInputFormat format;
    const bool known = ReadWaveFormat(reinterpret_cast<const uint8_t*>(mix),
                                      sizeof(WAVEFORMATEX) + mix->cbSize, format);
    const DWORD flags = IsOutputLoopback(wanted_) ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
    const HRESULT initialized = known ? client.Get()->Initialize(AUDCLNT_SHAREMODE_SHARED, flags,
                                                                 kBufferHns, 0, mix, nullptr)
                                      : E_NOTIMPL;
    if (Failed(initialized, "initialisation")) return false;
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
    openId_ = std::move(id);
    format_ = format;
    opening_.Reset();
    return true;
}

void DeviceCapture::Close() {
    if (client_) client_.Get()->Stop();
    capture_.Reset();
    client_.Reset();
    openId_.clear();
}

void DeviceCapture::Feed(PcmConverter& converter, size_t) {
    const DWORD now = GetTickCount();
    if (capture_ && checking_.Due(now)) {
        std::wstring id;
        // The default output is now another device (a headset, HDMI): follow it.
        if (IsOutputLoopback(wanted_) && FindDevice(id) && id != openId_) {
            Close();
            opening_.Reset();
        }
    }
    if (!capture_ && Open() && !SameFormat(converter.Input(), format_)) converter.SetInput(format_);
    Drain(&converter);
}

void DeviceCapture::Drain(PcmConverter* converter) {
    for (int i = 0; i < kPacketsPerFeed && capture_; ++i) {
        UINT32 waiting = 0;
        // A device unplugged, one whose format the user changed, or an audio
        // service that restarted: this client is gone. It is opened again,
        // at most once a second.
        const HRESULT sized = capture_.Get()->GetNextPacketSize(&waiting);
        CaptureStep step = AfterCaptureCall(sized, waiting);
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        // A buffer taken is always given back, even one of no frames.
        if (step == CaptureStep::Read) {
            const HRESULT got = capture_.Get()->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
            step = AfterCaptureCall(got, 1);
        }
        if (step == CaptureStep::Reopen) {
            OutputDebugStringA("orvela_agent: sound capture failed; the device is opened again\n");
            Close();
            return;
        }
        if (step == CaptureStep::Wait) return;
        if (converter && frames) {
            if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
                silence_.assign(size_t{frames} * format_.FrameBytes(), 0);
                data = silence_.data();
            }
            converter->Push(data, frames);
        }
        if (AfterCaptureCall(capture_.Get()->ReleaseBuffer(frames), 1) == CaptureStep::Reopen)
            Close();
    }
}

} // namespace agent
