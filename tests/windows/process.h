// Starts a program for a test (under Wine also a Unix one, by its path) with
// nothing inherited.
#pragma once

#include <string>
#include <utility>

#include "base/owners_win.h"

// True when the program started; `process` and `id`, when given, take its
// handle and id. Wine gives no usable handle for a Unix program.
inline bool StartProcess(std::string command, UniqueHandle* process = nullptr,
                         DWORD* id = nullptr) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return false;
    const UniqueHandle thread(pi.hThread);
    UniqueHandle handle(pi.hProcess);
    if (process) *process = std::move(handle);
    if (id) *id = pi.dwProcessId;
    return true;
}
