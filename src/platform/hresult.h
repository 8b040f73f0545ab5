// Result codes of the capture framework's calls, with the exact values the
// platform uses, so that the core can tell S_OK from S_FALSE from E_ABORT.
#pragma once

#include <cstdint>

namespace qel::platform {

using HResult = std::int32_t;

inline constexpr HResult kOk = 0;                                             // S_OK
inline constexpr HResult kFalse = 1;                                          // S_FALSE
inline constexpr HResult kNotImplemented = static_cast<HResult>(0x80004001);  // E_NOTIMPL
inline constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);     // E_NOINTERFACE
inline constexpr HResult kPointer = static_cast<HResult>(0x80004003);         // E_POINTER
inline constexpr HResult kAbort = static_cast<HResult>(0x80004004);           // E_ABORT
inline constexpr HResult kFail = static_cast<HResult>(0x80004005);            // E_FAIL
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);     // E_OUTOFMEMORY
inline constexpr HResult kInvalidArg = static_cast<HResult>(0x80070057);      // E_INVALIDARG
inline constexpr HResult kWrongState = static_cast<HResult>(0x80040227);      // VFW_E_WRONG_STATE
inline constexpr HResult kChangedMode = static_cast<HResult>(0x80010106);     // RPC_E_CHANGED_MODE

// Configuration-manager result (CR_*); only success is relied on.
inline constexpr std::uint32_t kCrSuccess = 0;
inline constexpr std::uint32_t kCrNoSuchDevnode = 0x0D;

}  // namespace qel::platform
