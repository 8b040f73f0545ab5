// A capture graph assembled by hand through the platform seam, as the
// library assembles it, and a grabber callback that records every frame.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "qel/qelsim.h"
#include "support/rig_fixture.h"

namespace qel::test {

using platform::ActivePlatform;
using platform::Guid;
using platform::HResult;
using platform::kOk;
using platform::MediaType;

inline const Guid kYuy2 = platform::FourccSubtype(platform::Fourcc('Y', 'U', 'Y', '2'));
inline const Guid kMjpg = platform::FourccSubtype(platform::Fourcc('M', 'J', 'P', 'G'));

// A rig test that holds a COM initialisation, as every caller of the capture
// objects must.
class ComRigTest : public RigTest {
 protected:
  void SetUp() override {
    RigTest::SetUp();
    ASSERT_EQ(ActivePlatform().CoInitializeEx(), kOk);
  }
  void TearDown() override {
    ActivePlatform().CoUninitialize();
    RigTest::TearDown();
  }
};

// Records what the grabber delivers.
class Recorder : public platform::SampleGrabberCallback {
 public:
  struct Frame {
    double time;
    long length;
    bool intact;
    std::int64_t counter;
  };

  HResult QueryInterface(const Guid&, void**) override { return platform::kNoInterface; }
  unsigned long AddRef() override { return 2; }
  unsigned long Release() override { return 1; }
  HResult SampleCB(double, void*) override { return kOk; }
  HResult BufferCB(double time, std::uint8_t* buffer, long length) override {
    std::int64_t counter = -1;
    bool intact = qelsim_check_frame(buffer, length, &counter) == 1;
    {
      std::lock_guard lock(mutex_);
      frames_.push_back(Frame{time, length, intact, counter});
    }
    if (onFrame) onFrame(time);
    return kOk;
  }
  // Runs on the streaming thread after each recorded frame.
  std::function<void(double)> onFrame;

  std::vector<Frame> Frames() {
    std::lock_guard lock(mutex_);
    return frames_;
  }

 private:
  std::mutex mutex_;
  std::vector<Frame> frames_;
};

struct Monikers {
  std::vector<std::unique_ptr<platform::Moniker>> all;
  std::vector<std::string> names;
};

inline Monikers Enumerate() {
  Monikers m;
  std::unique_ptr<platform::CreateDevEnum> devEnum;
  if (ActivePlatform().CreateSystemDeviceEnum(devEnum) != kOk) return m;
  std::unique_ptr<platform::EnumMoniker> monikers;
  if (devEnum->CreateVideoInputEnumerator(monikers) != kOk) return m;
  std::unique_ptr<platform::Moniker> moniker;
  while (monikers->Next(moniker) == kOk) {
    std::u16string name;
    moniker->GetDisplayName(name);
    m.names.push_back(ActivePlatform().WideToAnsi(name));
    m.all.push_back(std::move(moniker));
  }
  return m;
}

inline std::unique_ptr<platform::Pin> PinOf(platform::BaseFilter& filter,
                                            platform::PinDirection direction) {
  std::unique_ptr<platform::EnumPins> pins;
  if (filter.EnumPins(pins) != kOk) return nullptr;
  std::unique_ptr<platform::Pin> pin;
  while (pins->Next(pin) == kOk) {
    platform::PinDirection d;
    if (pin->QueryDirection(d) == kOk && d == direction) return pin;
  }
  return nullptr;
}

// A capture graph assembled step by step as the library does it.
struct Graph {
  // Shared with the grabber while it is set.
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::unique_ptr<platform::GraphBuilder> graph;
  std::unique_ptr<platform::CaptureGraphBuilder> builder;
  std::unique_ptr<platform::BaseFilter> capture;
  std::unique_ptr<platform::BaseFilter> grabberFilter;
  std::unique_ptr<platform::SampleGrabber> grabber;
  std::unique_ptr<platform::StreamConfig> config;
  std::unique_ptr<platform::MediaControl> control;
  std::unique_ptr<platform::MediaEvent> events;

  // Binds the device at enumeration position, sets the format and connects a
  // grabber for subtype. Returns the first failing result.
  HResult Build(int position, std::int32_t width, std::int32_t height, std::int64_t interval,
                const Guid& subtype, const Guid& grabberSubtype) {
    platform::Platform& p = ActivePlatform();
    HResult hr;
    if ((hr = p.CreateFilterGraph(graph)) != kOk) return hr;
    Monikers m = Enumerate();
    if (position >= static_cast<int>(m.all.size())) return platform::kFail;
    if ((hr = m.all[position]->BindToObject(capture)) != kOk) return hr;
    if ((hr = graph->AddFilter(*capture, u"Video Capture 0")) != kOk) return hr;
    if ((hr = p.CreateCaptureGraphBuilder(builder)) != kOk) return hr;
    if ((hr = builder->SetFiltergraph(*graph)) != kOk) return hr;
    if ((hr = builder->FindCaptureStreamConfig(*capture, config)) != kOk) return hr;
    std::unique_ptr<MediaType> type;
    if ((hr = config->GetFormat(type)) != kOk) return hr;
    platform::VideoInfoHeader vih;
    if (!type->GetVideoInfo(vih)) return platform::kFail;
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.AvgTimePerFrame = interval;
    type->SetVideoInfo(vih);
    type->subtype = subtype;
    if ((hr = config->SetFormat(*type)) != kOk) return hr;
    if ((hr = p.CreateSampleGrabber(grabberFilter)) != kOk) return hr;
    if ((hr = grabberFilter->QuerySampleGrabber(grabber)) != kOk) return hr;
    MediaType grabberType;
    grabberType.majortype = platform::kMediaTypeVideo;
    grabberType.subtype = grabberSubtype;
    grabberType.formattype = platform::kFormatVideoInfo;
    if ((hr = grabber->SetMediaType(grabberType)) != kOk) return hr;
    if ((hr = graph->AddFilter(*grabberFilter, u"Grabber 0")) != kOk) return hr;
    auto out = PinOf(*capture, platform::PinDirection::kOutput);
    auto in = PinOf(*grabberFilter, platform::PinDirection::kInput);
    if (!out || !in) return platform::kFail;
    if ((hr = graph->Connect(*out, *in)) != kOk) return hr;
    if ((hr = grabber->SetBufferSamples(false)) != kOk) return hr;
    if ((hr = grabber->SetOneShot(false)) != kOk) return hr;
    if ((hr = grabber->SetCallback(recorder, 1)) != kOk) return hr;
    if ((hr = graph->QueryMediaEvent(events)) != kOk) return hr;
    return graph->QueryMediaControl(control);
  }
};

}  // namespace qel::test
