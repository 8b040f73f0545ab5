// Result codes the video objects give besides those the core names, with
// the other platform's values.
#pragma once

#include <cerrno>

#include "platform/hresult.h"

namespace qel::platform::linux_hw {

inline constexpr HResult kPropIdUnsupported = static_cast<HResult>(0x80070490);
inline constexpr HResult kInvalidMediaType = static_cast<HResult>(0x80040200);
inline constexpr HResult kNoAcceptableTypes = static_cast<HResult>(0x80040207);
inline constexpr HResult kDeviceInUse = static_cast<HResult>(0x80070964);
inline constexpr HResult kDeviceNotConnected = static_cast<HResult>(0x8007048F);

// The result for a failed ioctl's errno value.
inline HResult ErrnoResult(int error) {
  switch (error) {
    case EBUSY:  // another process streams from the node
      return kDeviceInUse;
    case ENODEV:  // unplugged
      return kDeviceNotConnected;
    case EINVAL:
      return kInvalidArg;
    default:
      return kFail;
  }
}

}  // namespace qel::platform::linux_hw
