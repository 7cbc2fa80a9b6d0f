// Our declarations of the player's plug-in interface: the general-purpose
// plug-in record, the embedded-window state, and the input and output module
// records. 32-bit layout; every callback uses the C calling convention.
#pragma once

#include <windows.h>

#include <cstddef>

#include "sdk/wa_ipc.h"

#define WA_CDECL __cdecl

constexpr int GPPHDR_VER = 0x10;
constexpr int IN_VER = 0x100;
constexpr int OUT_VER = 0x10;

struct winampGeneralPurposePlugin {
    int version;
    char* description;
    int(WA_CDECL* init)(void);
    void(WA_CDECL* config)(void);
    void(WA_CDECL* quit)(void);
    HWND hwndParent;
    HINSTANCE hDllInstance;
};

struct embedWindowState {
    HWND me;
    int flags;
    RECT r;
    void* user_ptr;
    int extra_data[64];
};

struct Out_Module {
    int version;
    char* description;
    int id;
    HWND hMainWindow;
    HINSTANCE hDllInstance;
    void(WA_CDECL* Config)(HWND hwndParent);
    void(WA_CDECL* About)(HWND hwndParent);
    void(WA_CDECL* Init)(void);
    void(WA_CDECL* Quit)(void);
    int(WA_CDECL* Open)(int samplerate, int numchannels, int bitspersamp, int bufferlenms,
                        int prebufferms);
    void(WA_CDECL* Close)(void);
    int(WA_CDECL* Write)(char* buf, int len);
    int(WA_CDECL* CanWrite)(void);
    int(WA_CDECL* IsPlaying)(void);
    int(WA_CDECL* Pause)(int pause);
    void(WA_CDECL* SetVolume)(int volume);
    void(WA_CDECL* SetPan)(int pan);
    void(WA_CDECL* Flush)(int t);
    int(WA_CDECL* GetOutputTime)(void);
    int(WA_CDECL* GetWrittenTime)(void);
};

struct In_Module {
    int version;
    char* description;
    HWND hMainWindow;
    HINSTANCE hDllInstance;
    char* FileExtensions;
    int is_seekable;
    int UsesOutputPlug;
    void(WA_CDECL* Config)(HWND hwndParent);
    void(WA_CDECL* About)(HWND hwndParent);
    void(WA_CDECL* Init)(void);
    void(WA_CDECL* Quit)(void);
    void(WA_CDECL* GetFileInfo)(char* file, char* title, int* length_in_ms);
    int(WA_CDECL* InfoBox)(char* file, HWND hwndParent);
    int(WA_CDECL* IsOurFile)(char* fn);
    int(WA_CDECL* Play)(char* fn);
    void(WA_CDECL* Pause)(void);
    void(WA_CDECL* UnPause)(void);
    int(WA_CDECL* IsPaused)(void);
    void(WA_CDECL* Stop)(void);
    int(WA_CDECL* GetLength)(void);
    int(WA_CDECL* GetOutputTime)(void);
    void(WA_CDECL* SetOutputTime)(int time_in_ms);
    void(WA_CDECL* SetVolume)(int volume);
    void(WA_CDECL* SetPan)(int pan);
    void(WA_CDECL* SAVSAInit)(int maxlatency_in_ms, int srate);
    void(WA_CDECL* SAVSADeInit)(void);
    void(WA_CDECL* SAAddPCMData)(void* PCMData, int nch, int bps, int timestamp);
    int(WA_CDECL* SAGetMode)(void);
    int(WA_CDECL* SAAdd)(void* data, int timestamp, int csa);
    void(WA_CDECL* VSAAddPCMData)(void* PCMData, int nch, int bps, int timestamp);
    int(WA_CDECL* VSAGetMode)(int* specNch, int* waveNch);
    int(WA_CDECL* VSAAdd)(void* data, int timestamp);
    void(WA_CDECL* VSASetInfo)(int srate, int nch);
    int(WA_CDECL* dsp_isactive)(void);
    int(WA_CDECL* dsp_dosamples)(short int* samples, int numsamples, int bps, int nch, int srate);
    void(WA_CDECL* EQSet)(int on, char data[10], int preamp);
    void(WA_CDECL* SetInfo)(int bitrate, int srate, int stereo, int synched);
    Out_Module* outMod;
};

// The player's export names and their signatures.
typedef winampGeneralPurposePlugin*(WA_CDECL* winampGetGeneralPurposePluginFn)(void);
typedef In_Module*(WA_CDECL* winampGetInModule2Fn)(void);

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(winampGeneralPurposePlugin) == 28);
static_assert(offsetof(winampGeneralPurposePlugin, hwndParent) == 20);
static_assert(offsetof(winampGeneralPurposePlugin, hDllInstance) == 24);
static_assert(sizeof(embedWindowState) == 71 * 4);
static_assert(offsetof(embedWindowState, r) == 8);
static_assert(offsetof(embedWindowState, user_ptr) == 24);
static_assert(offsetof(embedWindowState, extra_data) == 28);
static_assert(sizeof(Out_Module) == 20 * 4);
static_assert(offsetof(Out_Module, Open) == 36);
static_assert(offsetof(Out_Module, GetWrittenTime) == 76);
static_assert(sizeof(In_Module) == 38 * 4);
static_assert(offsetof(In_Module, FileExtensions) == 16);
static_assert(offsetof(In_Module, Play) == 56);
static_assert(offsetof(In_Module, SAVSAInit) == 96);
static_assert(offsetof(In_Module, dsp_dosamples) == 136);
static_assert(offsetof(In_Module, outMod) == 148);
#endif
