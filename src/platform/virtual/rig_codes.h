// Result codes the virtual platform gives besides those the core names.
#pragma once

#include <cstdint>

#include "platform/hresult.h"

namespace qel::sim {

using platform::HResult;

inline constexpr HResult kPropIdUnsupported = static_cast<HResult>(0x80070490);
inline constexpr HResult kInvalidMediaType = static_cast<HResult>(0x80040200);
inline constexpr HResult kAlreadyConnected = static_cast<HResult>(0x80040204);
inline constexpr HResult kNoAcceptableTypes = static_cast<HResult>(0x80040207);
inline constexpr HResult kNotInGraph = static_cast<HResult>(0x8004025F);
inline constexpr HResult kCoNotInitialized = static_cast<HResult>(0x800401F0);
inline constexpr HResult kDeviceInUse = static_cast<HResult>(0x80070964);
inline constexpr HResult kDeviceGone = static_cast<HResult>(0x8007048F);

inline constexpr std::uint32_t kCrFailure = 0x13;
inline constexpr std::uint32_t kCrInvalidPointer = 0x03;
inline constexpr std::uint32_t kCrBufferSmall = 0x1A;

}  // namespace qel::sim
