// The one owner of a Winsock socket, used by both plug-ins: move-only, closed
// with closesocket exactly once.
#pragma once

#include <winsock2.h>

#include <utility>

class UniqueSocket {
  public:
    UniqueSocket() = default;
    explicit UniqueSocket(SOCKET s) : s_(s) {}
    ~UniqueSocket() { Reset(); }
    UniqueSocket(UniqueSocket&& o) noexcept : s_(std::exchange(o.s_, INVALID_SOCKET)) {}
    UniqueSocket& operator=(UniqueSocket&& o) noexcept {
        if (this != &o) {
            Reset();
            s_ = std::exchange(o.s_, INVALID_SOCKET);
        }
        return *this;
    }
    UniqueSocket(const UniqueSocket&) = delete;
    UniqueSocket& operator=(const UniqueSocket&) = delete;

    SOCKET Get() const { return s_; }
    explicit operator bool() const { return s_ != INVALID_SOCKET; }
    void Reset(SOCKET s = INVALID_SOCKET) {
        if (s_ != INVALID_SOCKET) closesocket(s_);
        s_ = s;
    }

  private:
    SOCKET s_ = INVALID_SOCKET;
};
