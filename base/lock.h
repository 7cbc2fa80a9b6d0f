// The one lock of every deliverable, tool and test: a mutex, held for a
// scope by a Guard. (The posix thread model gives the mingw builds the same
// std::mutex as the native one.)
#pragma once

#include <mutex>

using Lock = std::mutex;
using Guard = std::lock_guard<std::mutex>;
