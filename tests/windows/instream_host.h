// What the stream plug-in's Windows tests share: the player emulator hosting
// in_orvela.dll with the recording output module, the peer simulator started
// as a process of its own, and the platform's own IMA ADPCM codec (the audio
// compression manager) as the reference for the decoded PCM.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
// Lean windows.h leaves the multimedia headers out.
#include <mmreg.h>
#include <mmsystem.h>
#include <msacm.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/ima_adpcm.h"
#include "in_orvela/in_orvela_win.h"
#include "sdk/winamp.h"
#include "tests/emulator/emulator.h"
#include "tests/emulator/output_module.h"
#include "tests/windows/process.h"

namespace instream_test {

using Bytes = std::vector<uint8_t>;

// "Z:\a\b" <-> "/a/b": Wine's Z: drive is the Unix root.
inline std::string UnixPath(std::string windows) {
    if (windows.size() >= 2 && (windows[0] == 'Z' || windows[0] == 'z') && windows[1] == ':')
        windows.erase(0, 2);
    for (char& c : windows)
        if (c == '\\') c = '/';
    return windows;
}
inline std::string WindowsPath(std::string unix) {
    for (char& c : unix)
        if (c == '/') c = '\\';
    return "Z:" + unix;
}

// The native peer simulator: ORVELA_PEERSIM, or tools/peersim of the native
// build that holds this Windows build (its win/bin/ holds the tests).
inline std::string PeersimPath() {
    if (const char* env = std::getenv("ORVELA_PEERSIM")) return env;
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string dir = UnixPath(exe);
    for (int up = 0; up < 3; ++up)
        dir = dir.substr(0, dir.rfind('/'));
    return dir + "/tools/peersim";
}

inline std::string ReadFile(const std::string& windowsPath) {
    std::ifstream f(windowsPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// One run of `peersim stream`. Wine starts Unix programs but cannot wait for
// them, so the simulator's log is the way to follow it; every run is bounded
// by its own duration options.
class PeerSim {
  public:
    PeerSim() {
        static int counter = 0;
        // Wine's process ids repeat from run to run; the tick count tells runs apart.
        dir_ = "/tmp/orvela-instream-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
        CreateDirectoryA(WindowsPath(dir_).c_str(), nullptr);
        DeleteFileA(WindowsPath(LogPath()).c_str());
    }
    // A simulator that outlives its test keeps ctest reading the test's
    // output while no Wine process runs, and Wine then closes its desktop
    // under the next test's windows: let it finish first (bounded).
    ~PeerSim() {
        if (started_) WaitFor("done sends=", 5000);
    }
    PeerSim(const PeerSim&) = delete;
    PeerSim& operator=(const PeerSim&) = delete;

    std::string LogPath() const { return dir_ + "/peer.log"; }
    std::string AdpcmPath() const { return dir_ + "/peer.adpcm"; }

    // Starts the simulator and waits until it listens.
    bool Start(const std::string& options) {
        const std::string exe = PeersimPath();
        if (GetFileAttributesA(WindowsPath(exe).c_str()) == INVALID_FILE_ATTRIBUTES) {
            ADD_FAILURE() << "no peer simulator at " << exe << " (set ORVELA_PEERSIM)";
            return false;
        }
        std::string command = WindowsPath(exe) + " stream --log " + LogPath() + " --adpcm-out " +
                              AdpcmPath() + " " + options;
        if (!StartProcess(command)) {
            ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
            return false;
        }
        started_ = WaitFor("listening", 10000);
        return started_;
    }

    std::string Log() const { return ReadFile(WindowsPath(LogPath())); }
    Bytes Adpcm() const {
        const std::string s = ReadFile(WindowsPath(AdpcmPath()));
        return Bytes(s.begin(), s.end());
    }
    bool WaitFor(const std::string& text, DWORD ms) const {
        const DWORD start = GetTickCount();
        while (Log().find(text) == std::string::npos) {
            if (GetTickCount() - start > ms) return false;
            Sleep(20);
        }
        return true;
    }
    size_t Count(const std::string& text) const {
        const std::string log = Log();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    }
    // Whether one line of the log holds both texts.
    bool HasLine(const std::string& a, const std::string& b) const {
        const std::string log = Log();
        size_t start = 0;
        while (start < log.size()) {
            size_t end = log.find('\n', start);
            if (end == std::string::npos) end = log.size();
            const std::string line = log.substr(start, end - start);
            if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
            start = end + 1;
        }
        return false;
    }
    // A number from the last summary line, -1 when there is none.
    long Summary(const std::string& key) const {
        const std::string log = Log();
        const size_t line = log.rfind("summary ");
        if (line == std::string::npos) return -1;
        const size_t at = log.find(" " + key + "=", line);
        if (at == std::string::npos) return -1;
        return std::atol(log.c_str() + at + key.size() + 2);
    }

  private:
    std::string dir_;
    bool started_ = false;
};

// The platform codec's PCM for whole blocks of ADPCM in a stream format.
inline Bytes AcmDecode(int code, const uint8_t* adpcm, size_t bytes) {
    const codec::AudioFormat& f = *codec::FindAudioFormat(code);
    Bytes out;
    const size_t whole = bytes / f.blockSize * f.blockSize;
    if (whole == 0) return out;
    IMAADPCMWAVEFORMAT src{};
    src.wfx.wFormatTag = WAVE_FORMAT_IMA_ADPCM;
    src.wfx.nChannels = f.channels;
    src.wfx.nSamplesPerSec = f.sampleRate;
    src.wfx.nAvgBytesPerSec = f.adpcmBytesPerSecond;
    src.wfx.nBlockAlign = f.blockSize;
    src.wfx.wBitsPerSample = 4;
    src.wfx.cbSize = 2;
    src.wSamplesPerBlock = f.samplesPerBlock;
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = f.channels;
    pcm.nSamplesPerSec = f.sampleRate;
    pcm.nAvgBytesPerSec = f.pcmBytesPerSecond;
    pcm.nBlockAlign = f.pcmFrameBytes;
    pcm.wBitsPerSample = 16;
    HACMSTREAM stream = nullptr;
    MMRESULT r =
        acmStreamOpen(&stream, nullptr, &src.wfx, &pcm, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (r != 0) {
        ADD_FAILURE() << "acmStreamOpen failed: " << r;
        return out;
    }
    Bytes in(adpcm, adpcm + whole);
    DWORD size = 0;
    acmStreamSize(stream, static_cast<DWORD>(whole), &size, ACM_STREAMSIZEF_SOURCE);
    out.assign(size, 0);
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    h.pbSrc = in.data();
    h.cbSrcLength = static_cast<DWORD>(whole);
    h.pbDst = out.data();
    h.cbDstLength = size;
    r = acmStreamPrepareHeader(stream, &h, 0);
    if (r == 0) r = acmStreamConvert(stream, &h, ACM_STREAMCONVERTF_BLOCKALIGN);
    if (r != 0) ADD_FAILURE() << "acm conversion failed: " << r;
    out.resize(r == 0 ? h.cbDstLengthUsed : 0);
    acmStreamUnprepareHeader(stream, &h, 0);
    acmStreamClose(stream, 0);
    return out;
}

// Datagram by datagram, as the plug-in reads them: at most `readable` bytes of
// each (its receive size), whole blocks only.
inline Bytes AcmDecodeDatagrams(int code, const Bytes& adpcm, size_t datagram, size_t readable) {
    Bytes out;
    for (size_t at = 0; at + datagram <= adpcm.size(); at += datagram) {
        const Bytes part = AcmDecode(code, adpcm.data() + at, std::min(datagram, readable));
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// Where two PCM streams first differ, for messages; -1 when one is a prefix.
inline long FirstDifference(const Bytes& a, const Bytes& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<long>(i);
    return -1;
}

// in_orvela.dll hosted by the player emulator, as the player loads an input
// plug-in: record from the export, windows and output module filled in, Init.
class InStreamHost : public ::testing::Test {
  protected:
    PlayerEmulator player;
    RecordingOutput output;
    HMODULE dll = nullptr;
    In_Module* module = nullptr;
    // Hosts the copy of the plug-in's shell linked into this program instead
    // of the DLL, so that a test can read the session state through it.
    bool linked = false;

    void SetUp() override {
        if (linked) {
            module = in_orvela::InputModule();
            module->hMainWindow = player.MainWindow();
            module->hDllInstance = GetModuleHandleA(nullptr);
            output.Attach(module);
            module->Init();
            return;
        }
        dll = LoadLibraryA("in_orvela.dll");
        ASSERT_NE(dll, nullptr) << "in_orvela.dll did not load";
        auto get = reinterpret_cast<winampGetInModule2Fn>(
            reinterpret_cast<void*>(GetProcAddress(dll, "winampGetInModule2")));
        ASSERT_NE(get, nullptr);
        module = get();
        ASSERT_NE(module, nullptr);
        module->hMainWindow = player.MainWindow();
        module->hDllInstance = dll;
        output.Attach(module);
        module->Init();
    }
    void TearDown() override {
        if (module) {
            module->Stop();
            module->Quit();
        }
        if (dll) FreeLibrary(dll);
    }

    static std::string Location(int port, const char* title = "Ann's computer audio stream") {
        return "\\\\orvela::127.0.0.2:" + std::to_string(port) + "\\" + title;
    }
    void Play(const std::string& location) {
        std::vector<char> name(location.begin(), location.end());
        name.push_back(0);
        ASSERT_EQ(module->Play(name.data()), 0);
    }
    // Stop, and how long it took. A Stop that hangs ends the test program
    // rather than the whole run's time.
    DWORD TimedStop(DWORD limit = 10000) {
        const DWORD start = GetTickCount();
        HANDLE thread = CreateThread(nullptr, 0, &CallStop, module, 0, nullptr);
        if (!thread) {
            module->Stop();
        } else {
            if (WaitForSingleObject(thread, limit) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "Stop did not return within " << limit << " ms";
                std::fflush(stdout);
                TerminateProcess(GetCurrentProcess(), 3);
            }
            CloseHandle(thread);
        }
        return GetTickCount() - start;
    }
    static DWORD WINAPI CallStop(void* m) {
        static_cast<In_Module*>(m)->Stop();
        return 0;
    }
    size_t Eofs() const { return player.CountReceived(wa::WM_WA_MPEG_EOF, 0); }
    bool WaitForEof(DWORD ms) {
        return player.PumpUntil([this] { return Eofs() > 0; }, ms);
    }
    bool WaitForPcm(size_t bytes, DWORD ms) {
        return player.PumpUntil([&] { return output.PcmBytes() >= bytes; }, ms);
    }
};

} // namespace instream_test
