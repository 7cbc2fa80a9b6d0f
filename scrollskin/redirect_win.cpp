#include "scrollskin/redirect_win.h"

#include "base/owners_win.h"

#include <tlhelp32.h>

#include <cstring>

namespace {

constexpr int kSnapshotAttempts = 5;

} // namespace

DWORD WritableProtection(DWORD current) {
    constexpr DWORD kExecutable =
        PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (current & kExecutable) ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
}

bool SwapImportSlot(void** slot, void* from, void* to) {
    if (*slot != from) return false;
    // The table may share its page with code that another thread runs right
    // now: the page stays executable while it is written.
    MEMORY_BASIC_INFORMATION page{};
    if (!VirtualQuery(slot, &page, sizeof page)) return false;
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, WritableProtection(page.Protect), &old)) return false;
    *slot = to;
    VirtualProtect(slot, sizeof *slot, old, &old);
    return true;
}

namespace {

// Walks `image`'s imports of `module` and swaps each slot holding a `from`
// of the table for its `to`; answers how many were swapped.
size_t PatchModule(HMODULE image, const char* module, Redirection* table, size_t count,
                   bool restore) {
    auto* base = reinterpret_cast<BYTE*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress || !dir.Size) return 0;
    size_t swapped = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), module) != 0) continue;
        for (auto* slot = reinterpret_cast<void**>(base + d->FirstThunk); *slot; ++slot)
            for (size_t i = 0; i < count; ++i) {
                Redirection& r = table[i];
                if (!r.original) continue;
                swapped += restore ? SwapImportSlot(slot, r.replacement, r.original)
                                   : SwapImportSlot(slot, r.original, r.replacement);
            }
    }
    return swapped;
}

template <class F> void EachModule(F&& visit) {
    UniqueHandle snap;
    // A module loading meanwhile fails the snapshot with ERROR_BAD_LENGTH;
    // taken again, it succeeds.
    for (int attempt = 0; attempt < kSnapshotAttempts && !snap; ++attempt) {
        const HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
        const DWORD error = GetLastError();
        snap.Reset(taken);
        if (!snap && error != ERROR_BAD_LENGTH) break;
    }
    if (!snap) {
        OutputDebugStringA("Orvela: no module snapshot; the scroll bars stay the platform's\n");
        return;
    }
    MODULEENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32First(snap.Get(), &entry); more;
         more = Module32Next(snap.Get(), &entry))
        visit(entry.hModule);
}

} // namespace

size_t RedirectImports(const char* module, Redirection* table, size_t count, HMODULE skip) {
    HMODULE target = GetModuleHandleA(module);
    if (!target) return 0;
    for (size_t i = 0; i < count; ++i)
        table[i].original = reinterpret_cast<void*>(GetProcAddress(target, table[i].name));
    size_t swapped = 0;
    EachModule([&](HMODULE m) {
        if (m != skip && m != target) swapped += PatchModule(m, module, table, count, false);
    });
    return swapped;
}

void RestoreImports(const char* module, Redirection* table, size_t count, HMODULE skip) {
    HMODULE target = GetModuleHandleA(module);
    EachModule([&](HMODULE m) {
        if (m != skip && m != target) PatchModule(m, module, table, count, true);
    });
}
