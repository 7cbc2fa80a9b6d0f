// The objects that drive windows, found from the window without a system
// call: window properties are round trips to the server under Wine, and the
// look-up runs for every message. A process-wide map behind a lock, since
// some callers (the scroll-bar layer's redirected functions) run on any
// thread. The properties stay set as well, for whoever reads them.
#pragma once

#include "base/handle_map.h"
#include "base/lock.h"
#include "base/owners_win.h"

template <class T> class WindowObjects {
  public:
    T* Find(HWND w) {
        if (!w) return nullptr;
        const Guard hold(lock_);
        return static_cast<T*>(map_.Find(reinterpret_cast<uintptr_t>(w)));
    }
    void Set(HWND w, T* object) {
        const Guard hold(lock_);
        map_.Set(reinterpret_cast<uintptr_t>(w), object);
    }
    void Remove(HWND w) {
        const Guard hold(lock_);
        map_.Remove(reinterpret_cast<uintptr_t>(w));
    }

  private:
    Lock lock_;
    HandleMap map_;
};
