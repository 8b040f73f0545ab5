// The state behind the capture objects: filters (a device's capture filter or
// a sample grabber) and filter graphs. Guarded by the rig mutex.
//
// Ownership follows the platform: a graph holds the filters added to it, a
// filter knows its graph only weakly. A graph's state must never be released
// while the rig mutex is held, because its release stops the stream.
#pragma once

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/virtual/device.h"
#include "platform/virtual/stream.h"

namespace qel::sim {

struct GraphState;

enum class FilterKind { kCapture, kGrabber };

struct FilterState {
  FilterKind kind = FilterKind::kCapture;
  DevicePtr device;  // capture filters only
  std::weak_ptr<GraphState> graph;
  bool inGraph = false;
  bool outputConnected = false;
  bool inputConnected = false;

  // Sample grabber.
  bool hasMediaType = false;
  platform::MediaType mediaType;
  bool bufferSamples = false;
  bool oneShot = false;
  std::shared_ptr<platform::SampleGrabberCallback> callback;
  long whichMethod = 0;
};

using FilterPtr = std::shared_ptr<FilterState>;

struct GraphState {
  std::vector<FilterPtr> filters;  // kept alive while the graph lives
  FilterPtr capture;               // the connected capture filter
  FilterPtr grabber;               // and the grabber it feeds
  bool running = false;
  bool deviceLostReported = false;  // the event is queued once
  std::unique_ptr<StreamRunner> stream;

  GraphState() = default;
  // Stops the stream (joining its thread) before the filters leave the
  // graph; must not run with the rig mutex held.
  ~GraphState();
  GraphState(const GraphState&) = delete;
  GraphState& operator=(const GraphState&) = delete;

  // The device of the graph's capture filter (for faults), or -1.
  int DeviceIdLocked() const;
};

using GraphPtr = std::shared_ptr<GraphState>;

// The device id a filter's calls concern: its own device, or that of the
// graph it is in, or -1. Rig mutex held.
int FilterDeviceIdLocked(const FilterState& filter);

}  // namespace qel::sim
