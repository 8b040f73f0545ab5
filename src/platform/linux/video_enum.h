// The system device enumerator of the capture framework over the video
// nodes: monikers with their names, and their binding to a capture filter.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qel::platform::linux_hw {

std::unique_ptr<CreateDevEnum> MakeVideoDevEnum();

}  // namespace qel::platform::linux_hw
