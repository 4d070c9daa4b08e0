// Result codes, root keys and flags of the Windows APIs that the core follows step by step.
// Own names (k...) so that this header can sit next to <windows.h> without macro clashes.
#pragma once

#include <cstdint>

namespace pradex {

// System error codes (GetLastError / LSTATUS values).
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorOutOfMemory = 14;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorInsufficientBuffer = 122;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorNoMoreItems = 259;
inline constexpr long kErrorIoPending = 997;
inline constexpr long kErrorBadKey = 1010;
inline constexpr long kErrorCancelled = 1223;  // ERROR_CANCELLED: the operation was stopped
// What a spooler's printer enumeration fails with (the CUPS adapter reports the same numbers).
inline constexpr long kErrorGenFailure = 31;
inline constexpr long kErrorTimeout = 1460;
inline constexpr long kRpcServerUnavailable = 1722;

// Registry key handles: the predefined roots carry their Win32 values; 0 is "no key".
using RegKey = std::uintptr_t;
inline constexpr RegKey kNoKey = 0;
inline constexpr RegKey kHkeyClassesRoot = 0x80000000u;
inline constexpr RegKey kHkeyCurrentUser = 0x80000001u;
inline constexpr RegKey kHkeyLocalMachine = 0x80000002u;

// Access masks.
inline constexpr std::uint32_t kKeyQueryValue = 0x0001;
inline constexpr std::uint32_t kKeySetValue = 0x0002;
inline constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
inline constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Registry buffers of the discovery code.
inline constexpr std::uint32_t kMaxPathBuffer = 260;

}  // namespace pradex
