// The platform error numbers that portable code keeps as a result (the stream
// plug-in's session error). Spelled out here so the portable core needs no
// platform header.
#pragma once

#include <cstdint>

constexpr int32_t kNoError = 0;
constexpr int32_t kMmNoMemory = 7;          // MMSYSERR_NOMEM
constexpr int32_t kAcmNotPossible = 512;    // ACMERR_NOTPOSSIBLE
constexpr int32_t kWsaIoPending = 997;      // WSA_IO_PENDING
constexpr int32_t kWsaMsgSize = 10040;      // WSAEMSGSIZE
constexpr int32_t kWsaAddrNotAvail = 10049; // WSAEADDRNOTAVAIL
constexpr int32_t kWsaConnReset = 10054;    // WSAECONNRESET
constexpr int32_t kWsaTimedOut = 10060;     // WSAETIMEDOUT
constexpr int32_t kWsaConnRefused = 10061;  // WSAECONNREFUSED
