// The filter graph with its media control and media event interfaces, and
// the capture graph builder.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace qel::sim {

std::unique_ptr<platform::GraphBuilder> MakeFilterGraph();
std::unique_ptr<platform::CaptureGraphBuilder> MakeCaptureGraphBuilder();

}  // namespace qel::sim
