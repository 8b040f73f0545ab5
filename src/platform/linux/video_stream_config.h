// The capture pin's stream configuration on a video node.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qel::platform::linux_hw {

class VideoDevice;

std::unique_ptr<StreamConfig> MakeVideoStreamConfig(std::shared_ptr<VideoDevice> device);

// The subtype the node captures now; the null GUID when it cannot tell.
Guid CurrentSubtype(const VideoDevice& device);

}  // namespace qel::platform::linux_hw
