// Process-wide redirection of functions that other modules import: every
// loaded module's import-address-table entry for `module!name` is pointed at
// a replacement and put back on removal. This is how the list control's own
// calls to the platform's scroll-bar functions reach the skinning layer.
#pragma once

#include <windows.h>

#include <cstddef>

struct Redirection {
    const char* name;  // exported by the imported module
    void* replacement; // ours
    void* original;    // the platform's; filled by RedirectImports
};

// Redirects the imports of `module` (e.g. "user32.dll") named in the table in
// every module loaded now, except `skip` (the caller's own, whose calls must
// keep reaching the platform). Answers how many import slots were changed.
size_t RedirectImports(const char* module, Redirection* table, size_t count, HMODULE skip);
// Puts back every entry that RedirectImports changed.
void RestoreImports(const char* module, Redirection* table, size_t count, HMODULE skip);

// The protection an import table's page takes while one slot is written:
// writable, and still executable when it was.
DWORD WritableProtection(DWORD current);
// Points one import slot from `from` to `to`, putting the page's protection
// back afterwards; false when the slot held something else.
bool SwapImportSlot(void** slot, void* from, void* to);
