// Bringing a camera's capture graph up and down: the camera's capture filter
// connected to a sample grabber whose callback receives every frame.
// Internal to capture/; the rest of the library uses capture/capture.h.
#pragma once

#include <cstdint>
#include <memory>

#include "capture/capture.h"
#include "platform/platform.h"

namespace qel {

inline constexpr int kBuildAttempts = 3;
inline constexpr std::uint32_t kGraphWaitMs = 3000;

// Builds the graph of a context whose request is filled: at most three
// attempts, retrying only a failed Run and a missing first frame. The outcome
// is in the context: buildStatus, running, boundDevice, devicePath, the size
// and rate used, propertySupported.
void BuildCaptureGraph(std::int32_t captureIndex);

// Clears the grabber's callback (the graph must have stopped), then releases
// every object of the context, the library's share of the callback last.
void ReleaseCaptureObjects(std::int32_t captureIndex);

// The filter's first pin of the given direction, or none.
std::unique_ptr<platform::Pin> GetPinByDirection(platform::BaseFilter& filter,
                                                 platform::PinDirection direction);

}  // namespace qel
