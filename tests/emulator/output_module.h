// The player's side of an input plug-in: an output module that records the
// PCM it is given (and can write it as a WAV file), with a settable CanWrite
// and playing state, and the visualisation, DSP and information functions the
// player fills into an input module's record. Callbacks come from the
// plug-in's decode thread; everything here is guarded for reading from the
// test's thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/lock.h"
#include "sdk/winamp.h"

class RecordingOutput {
  public:
    struct Settings {
        int canWrite = 1 << 20; // what CanWrite answers
        bool playing = false;   // what IsPlaying answers once written audio has "played"
        int openResult = 2000;  // Open's answer: the maximum latency, or < 0 to fail
        bool dspActive = false; // the DSP repeats every frame twice when active
    };
    struct Counts {
        int opens = 0, closes = 0, writes = 0, pauses = 0, unpauses = 0;
        int saInits = 0, saDeInits = 0, saAdds = 0, vsaAdds = 0, vsaInfos = 0, setInfos = 0;
        int dspCalls = 0;
    };

    RecordingOutput();
    ~RecordingOutput();
    RecordingOutput(const RecordingOutput&) = delete;
    RecordingOutput& operator=(const RecordingOutput&) = delete;

    // Points the record's output module and the player's functions at this.
    // The functions are shared, so the output attached last receives them.
    void Attach(In_Module* module);

    void Set(const Settings& s);
    Settings Get() const;
    Counts Calls() const;
    std::vector<uint8_t> Pcm() const;
    size_t PcmBytes() const;
    // Arguments of the last Open: rate, channels, bits, buffer length, prebuffer.
    std::vector<int> OpenArgs() const;
    std::vector<int> SetInfoArgs() const;
    int Volume() const;
    // Writes the PCM as a 16-bit WAV file in the format of the last Open.
    bool WriteWav(const std::string& path) const;

  private:
    static RecordingOutput* current_;
    // Out_Module
    static int WA_CDECL Open(int rate, int channels, int bits, int bufferLenMs, int prebufferMs);
    static void WA_CDECL Close();
    static int WA_CDECL Write(char* buffer, int length);
    static int WA_CDECL CanWrite();
    static int WA_CDECL IsPlaying();
    static int WA_CDECL Pause(int pause);
    static void WA_CDECL SetVolume(int volume);
    static void WA_CDECL SetPan(int pan);
    static void WA_CDECL Flush(int t);
    static int WA_CDECL GetOutputTime();
    static int WA_CDECL GetWrittenTime();
    static void WA_CDECL Nothing(HWND) {}
    static void WA_CDECL NothingAtAll() {}
    // The player's functions in an In_Module.
    static void WA_CDECL SAVSAInit(int maxLatencyMs, int rate);
    static void WA_CDECL SAVSADeInit();
    static void WA_CDECL SAAddPCMData(void* pcm, int channels, int bits, int timestamp);
    static int WA_CDECL SAGetMode();
    static int WA_CDECL SAAdd(void* data, int timestamp, int csa);
    static void WA_CDECL VSAAddPCMData(void* pcm, int channels, int bits, int timestamp);
    static int WA_CDECL VSAGetMode(int* specNch, int* waveNch);
    static int WA_CDECL VSAAdd(void* data, int timestamp);
    static void WA_CDECL VSASetInfo(int rate, int channels);
    static int WA_CDECL DspIsActive();
    static int WA_CDECL DspDoSamples(short* samples, int frames, int bits, int channels, int rate);
    static void WA_CDECL SetInfo(int bitrate, int rate, int stereo, int synched);

    int WrittenMs() const;

    mutable Lock mutex_;
    Out_Module module_{};
    Settings settings_;
    Counts counts_;
    std::vector<uint8_t> pcm_;
    std::vector<int> openArgs_, setInfoArgs_;
    int volume_ = 0;
};
