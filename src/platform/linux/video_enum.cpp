#include "platform/linux/video_enum.h"

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/linux/video_device.h"
#include "platform/linux/video_graph.h"
#include "platform/linux/video_nodes.h"

namespace qel::platform::linux_hw {

namespace {

// The names are read when the enumerator is made, as a moniker's property
// bag holds what the device had when it was listed.
class VideoPropertyBag final : public PropertyBag {
 public:
  explicit VideoPropertyBag(std::u16string friendlyName) : friendlyName_(std::move(friendlyName)) {}
  HResult Read(std::u16string_view name, std::u16string& value) override {
    if (name != u"FriendlyName") return kFail;
    value = friendlyName_;
    return kOk;
  }

 private:
  std::u16string friendlyName_;
};

class VideoMoniker final : public Moniker {
 public:
  explicit VideoMoniker(VideoNode node) : node_(std::move(node)) {}

  HResult GetDisplayName(std::u16string& name) override {
    name = VideoDisplayName(node_);
    return kOk;
  }
  HResult BindToStorage(std::unique_ptr<PropertyBag>& bag) override {
    bag = std::make_unique<VideoPropertyBag>(VideoFriendlyName(node_));
    return kOk;
  }
  // The node is opened anew; a node whose minor now belongs to another
  // device (its bus position differs) is not the listed device.
  HResult BindToObject(std::unique_ptr<BaseFilter>& filter) override {
    filter.reset();
    std::shared_ptr<VideoDevice> device = VideoDevice::Open(node_.devicePath);
    if (!device) return kFail;
    v4l2_capability capability{};
    if (device->Ioctl(VIDIOC_QUERYCAP, &capability) != 0 || !IsStreamingCapture(capability) ||
        FieldText(capability.bus_info) != node_.busInfo) {
      return kFail;
    }
    filter = MakeCaptureFilter(std::move(device));
    return kOk;
  }

 private:
  VideoNode node_;
};

class VideoEnumMoniker final : public EnumMoniker {
 public:
  explicit VideoEnumMoniker(std::vector<VideoNode> nodes) : nodes_(std::move(nodes)) {}
  HResult Next(std::unique_ptr<Moniker>& moniker) override {
    moniker.reset();
    if (next_ >= nodes_.size()) return kFalse;
    moniker = std::make_unique<VideoMoniker>(nodes_[next_++]);
    return kOk;
  }

 private:
  std::vector<VideoNode> nodes_;
  std::size_t next_ = 0;
};

class VideoDevEnum final : public CreateDevEnum {
 public:
  HResult CreateVideoInputEnumerator(std::unique_ptr<EnumMoniker>& monikers) override {
    monikers.reset();
    std::vector<VideoNode> nodes = ListVideoNodes();
    if (nodes.empty()) return kFalse;
    monikers = std::make_unique<VideoEnumMoniker>(std::move(nodes));
    return kOk;
  }
};

}  // namespace

std::unique_ptr<CreateDevEnum> MakeVideoDevEnum() { return std::make_unique<VideoDevEnum>(); }

}  // namespace qel::platform::linux_hw
