#include "tests/emulator/output_module.h"

#include <cstdio>
#include <cstring>

RecordingOutput* RecordingOutput::current_ = nullptr;

RecordingOutput::RecordingOutput() {
    module_.version = OUT_VER;
    module_.description = const_cast<char*>("Orvela emulator recording output");
    module_.id = 65536 + 77;
    module_.Config = Nothing;
    module_.About = Nothing;
    module_.Init = NothingAtAll;
    module_.Quit = NothingAtAll;
    module_.Open = Open;
    module_.Close = Close;
    module_.Write = Write;
    module_.CanWrite = CanWrite;
    module_.IsPlaying = IsPlaying;
    module_.Pause = Pause;
    module_.SetVolume = SetVolume;
    module_.SetPan = SetPan;
    module_.Flush = Flush;
    module_.GetOutputTime = GetOutputTime;
    module_.GetWrittenTime = GetWrittenTime;
    current_ = this;
}

RecordingOutput::~RecordingOutput() {
    if (current_ == this) current_ = nullptr;
}

void RecordingOutput::Attach(In_Module* m) {
    module_.hMainWindow = m->hMainWindow;
    module_.hDllInstance = m->hDllInstance;
    m->outMod = &module_;
    m->SAVSAInit = SAVSAInit;
    m->SAVSADeInit = SAVSADeInit;
    m->SAAddPCMData = SAAddPCMData;
    m->SAGetMode = SAGetMode;
    m->SAAdd = SAAdd;
    m->VSAAddPCMData = VSAAddPCMData;
    m->VSAGetMode = VSAGetMode;
    m->VSAAdd = VSAAdd;
    m->VSASetInfo = VSASetInfo;
    m->dsp_isactive = DspIsActive;
    m->dsp_dosamples = DspDoSamples;
    m->SetInfo = SetInfo;
    current_ = this;
}

void RecordingOutput::Set(const Settings& s) {
    Guard lock(mutex_);
    settings_ = s;
}

RecordingOutput::Settings RecordingOutput::Get() const {
    Guard lock(mutex_);
    return settings_;
}

RecordingOutput::Counts RecordingOutput::Calls() const {
    Guard lock(mutex_);
    return counts_;
}

std::vector<uint8_t> RecordingOutput::Pcm() const {
    Guard lock(mutex_);
    return pcm_;
}

size_t RecordingOutput::PcmBytes() const {
    Guard lock(mutex_);
    return pcm_.size();
}

std::vector<int> RecordingOutput::OpenArgs() const {
    Guard lock(mutex_);
    return openArgs_;
}

std::vector<int> RecordingOutput::SetInfoArgs() const {
    Guard lock(mutex_);
    return setInfoArgs_;
}

int RecordingOutput::Volume() const {
    Guard lock(mutex_);
    return volume_;
}

bool RecordingOutput::WriteWav(const std::string& path) const {
    Guard lock(mutex_);
    if (openArgs_.size() < 3) return false;
    const uint32_t rate = openArgs_[0], channels = openArgs_[1], bits = openArgs_[2];
    const uint32_t frame = channels * bits / 8, data = static_cast<uint32_t>(pcm_.size());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    auto u32 = [f](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [f](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + data);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(rate);
    u32(rate * frame);
    u16(static_cast<uint16_t>(frame));
    u16(static_cast<uint16_t>(bits));
    std::fwrite("data", 1, 4, f);
    u32(data);
    const bool ok = std::fwrite(pcm_.data(), 1, pcm_.size(), f) == pcm_.size();
    return std::fclose(f) == 0 && ok;
}

// Milliseconds of the PCM written so far, in the opened format.
int RecordingOutput::WrittenMs() const {
    if (openArgs_.size() < 3 || openArgs_[0] <= 0) return 0;
    const uint64_t bytesPerSecond = uint64_t(openArgs_[0]) * openArgs_[1] * openArgs_[2] / 8;
    return bytesPerSecond ? static_cast<int>(pcm_.size() * 1000 / bytesPerSecond) : 0;
}

#define SELF                                                                                       \
    RecordingOutput& self = *current_;                                                             \
    Guard lock(self.mutex_)

int RecordingOutput::Open(int rate, int channels, int bits, int bufferLenMs, int prebufferMs) {
    SELF;
    ++self.counts_.opens;
    self.openArgs_ = {rate, channels, bits, bufferLenMs, prebufferMs};
    return self.settings_.openResult;
}

void RecordingOutput::Close() {
    SELF;
    ++self.counts_.closes;
}

int RecordingOutput::Write(char* buffer, int length) {
    SELF;
    ++self.counts_.writes;
    if (length > 0) self.pcm_.insert(self.pcm_.end(), buffer, buffer + length);
    return 0;
}

int RecordingOutput::CanWrite() {
    SELF;
    return self.settings_.canWrite;
}

int RecordingOutput::IsPlaying() {
    SELF;
    return self.settings_.playing ? 1 : 0;
}

int RecordingOutput::Pause(int pause) {
    SELF;
    ++(pause ? self.counts_.pauses : self.counts_.unpauses);
    return 0;
}

void RecordingOutput::SetVolume(int volume) {
    SELF;
    self.volume_ = volume;
}

void RecordingOutput::SetPan(int) {}
void RecordingOutput::Flush(int) {}

// Everything written counts as played at once.
int RecordingOutput::GetOutputTime() {
    SELF;
    return self.WrittenMs();
}

int RecordingOutput::GetWrittenTime() {
    SELF;
    return self.WrittenMs();
}

void RecordingOutput::SAVSAInit(int, int) {
    SELF;
    ++self.counts_.saInits;
}

void RecordingOutput::SAVSADeInit() {
    SELF;
    ++self.counts_.saDeInits;
}

void RecordingOutput::SAAddPCMData(void*, int, int, int) {
    SELF;
    ++self.counts_.saAdds;
}

int RecordingOutput::SAGetMode() {
    return 0;
}
int RecordingOutput::SAAdd(void*, int, int) {
    return 0;
}

void RecordingOutput::VSAAddPCMData(void*, int, int, int) {
    SELF;
    ++self.counts_.vsaAdds;
}

int RecordingOutput::VSAGetMode(int* specNch, int* waveNch) {
    if (specNch) *specNch = 0;
    if (waveNch) *waveNch = 0;
    return 0;
}

int RecordingOutput::VSAAdd(void*, int) {
    return 0;
}

void RecordingOutput::VSASetInfo(int, int) {
    SELF;
    ++self.counts_.vsaInfos;
}

int RecordingOutput::DspIsActive() {
    SELF;
    return self.settings_.dspActive ? 1 : 0;
}

// Repeats every frame twice, in place: the buffer holds room for it.
int RecordingOutput::DspDoSamples(short* samples, int frames, int bits, int channels, int) {
    SELF;
    ++self.counts_.dspCalls;
    if (bits != 16 || channels < 1) return frames;
    for (int f = frames - 1; f >= 0; --f)
        for (int c = 0; c < channels; ++c) {
            const short v = samples[f * channels + c];
            samples[(2 * f) * channels + c] = v;
            samples[(2 * f + 1) * channels + c] = v;
        }
    return frames * 2;
}

void RecordingOutput::SetInfo(int bitrate, int rate, int stereo, int synched) {
    SELF;
    ++self.counts_.setInfos;
    self.setInfoArgs_ = {bitrate, rate, stereo, synched};
}

#undef SELF
