// Hand-written stand-ins for the stream plug-in's seams: a counting heap, a
// datagram port that records what the session asks of it, the player's
// output module and a clock that moves only when slept on.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/heap.h"
#include "instream/playback.h"
#include "instream/session.h"

class CountingHeap final : public Heap {
  public:
    int live = 0;
    long failAfter = -1; // >= 0: that many more allocations succeed, then all fail

    void* Allocate(size_t bytes) override {
        if (failAfter == 0) return nullptr;
        if (failAfter > 0) --failAfter;
        ++live;
        return std::calloc(bytes ? bytes : 1, 1);
    }
    void Free(void* block) override {
        if (!block) return;
        --live;
        std::free(block);
    }
};

class FakePort final : public instream::DatagramPort {
  public:
    struct Sent {
        SendRecord record;
        std::string text;
    };
    std::vector<Sent> sent;
    std::vector<uint32_t> receives; // sizes asked for, 0 meaning the default
    int32_t sendResult = 0;
    int32_t receiveResult = 0;

    int32_t Send(SendRecord record, std::string_view text) override {
        sent.push_back({record, std::string(text)});
        return sendResult;
    }
    int32_t Receive(uint32_t size) override {
        receives.push_back(size);
        return receiveResult;
    }
};

class FakeClock final : public instream::Clock {
  public:
    uint32_t now = 1000000;
    uint32_t slept = 0;
    uint32_t TickCount() override { return now; }
    void Sleep(uint32_t ms) override {
        now += ms;
        slept += ms;
    }
};

class FakeOutput final : public instream::PlaybackOutput {
  public:
    struct PcmCall {
        int channels, bits, timestamp;
    };
    // Settings.
    int canWrite = 1 << 20;
    int openResult = 500;
    bool playing = true;
    bool dspActive = false;
    int dspFactor = 1;        // the DSP returns this many times the frames it gets
    bool overrideDsp = false; // the DSP returns dspResult whatever it got
    int dspResult = 0;

    // Record.
    int opens = 0;
    int openArgs[5] = {};
    int setInfo[4] = {};
    int saInit[2] = {-1, -1};
    int vsaInfo[2] = {-1, -1};
    int volume = 0;
    int eofPosts = 0;
    std::vector<int> writes;
    std::vector<uint8_t> written;
    std::vector<PcmCall> sa, vsa;
    std::vector<int> dspFrames;

    int Open(int rate, int channels, int bits, int bufferLenMs, int prebufferMs) override {
        ++opens;
        int args[5] = {rate, channels, bits, bufferLenMs, prebufferMs};
        std::copy(args, args + 5, openArgs);
        return openResult;
    }
    int Write(char* buffer, int length) override {
        writes.push_back(length);
        written.insert(written.end(), buffer, buffer + length);
        return 0;
    }
    int CanWrite() override { return canWrite; }
    int IsPlaying() override { return playing; }
    void SetVolume(int v) override { volume = v; }
    void SetInfo(int bitrate, int rate, int stereo, int synched) override {
        int args[4] = {bitrate, rate, stereo, synched};
        std::copy(args, args + 4, setInfo);
    }
    void SAVSAInit(int latency, int rate) override {
        saInit[0] = latency;
        saInit[1] = rate;
    }
    void SAAddPCMData(void*, int channels, int bits, int timestamp) override {
        sa.push_back({channels, bits, timestamp});
    }
    void VSAAddPCMData(void*, int channels, int bits, int timestamp) override {
        vsa.push_back({channels, bits, timestamp});
    }
    void VSASetInfo(int rate, int channels) override {
        vsaInfo[0] = rate;
        vsaInfo[1] = channels;
    }
    int DspIsActive() override { return dspActive; }
    int DspDoSamples(short* samples, int frames, int, int channels, int) override {
        dspFrames.push_back(frames);
        // Repeat every frame, as a time-stretching DSP might.
        for (int f = frames - 1; f >= 0; --f)
            for (int k = dspFactor - 1; k >= 0; --k)
                for (int c = 0; c < channels; ++c)
                    samples[(f * dspFactor + k) * channels + c] = samples[f * channels + c];
        return overrideDsp ? dspResult : frames * dspFactor;
    }
    void PostEndOfFile() override { ++eofPosts; }
};
