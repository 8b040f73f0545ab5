// The capture framework's graph objects over a video node: the capture and
// grabber filters with their pins, the graph that connects and runs them, and
// the capture graph builder that finds the capture pin's configuration. They
// keep the bookkeeping the core relies on and nothing else.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qel::platform::linux_hw {

class VideoDevice;

std::unique_ptr<BaseFilter> MakeCaptureFilter(std::shared_ptr<VideoDevice> device);
std::unique_ptr<BaseFilter> MakeSampleGrabber();
std::unique_ptr<GraphBuilder> MakeFilterGraph();
std::unique_ptr<CaptureGraphBuilder> MakeCaptureGraphBuilder();

}  // namespace qel::platform::linux_hw
