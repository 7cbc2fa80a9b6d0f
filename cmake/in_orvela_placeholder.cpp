// Entry point of in_orvela until its input module is built: a record that
// claims nothing, so a player that loads the DLL passes every file on.
#include "sdk/winamp.h"

namespace {
int WA_CDECL NotOurs(char*) { return 0; }
void WA_CDECL Nothing() {}
In_Module g_module = [] {
    In_Module m{};
    m.version = IN_VER;
    m.description = const_cast<char*>("Orvela stream input");
    m.FileExtensions = const_cast<char*>("");
    m.Init = Nothing;
    m.Quit = Nothing;
    m.IsOurFile = NotOurs;
    return m;
}();
} // namespace

extern "C" In_Module* WA_CDECL winampGetInModule2() { return &g_module; }
