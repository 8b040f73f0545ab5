#include "preview_encoder.h"

#include <algorithm>

#include "image_writer.h"

#if defined(QEL_VIEW_TURBOJPEG)
#  include <turbojpeg.h>
#endif

namespace qelctl::view {
namespace {

bool IsYuy2(const std::string& format) { return format == "YUY2"; }
bool IsMjpg(const std::string& format) { return format == "MJPG"; }

}  // namespace

#if defined(QEL_VIEW_TURBOJPEG)

struct PreviewEncoder::Impl {
  explicit Impl(int q) : quality(q) {}
  int quality;
  tjhandle compressor = tjInitCompress();
  tjhandle decompressor = tjInitDecompress();
  // The planes of a 4:2:2 picture, made from the packed YUY2 frame.
  std::vector<std::uint8_t> y, u, v;
  std::vector<std::uint8_t> rgb;

  ~Impl() {
    if (compressor) tjDestroy(compressor);
    if (decompressor) tjDestroy(decompressor);
  }

  bool Finish(unsigned char* data, unsigned long size, int result, std::string& jpeg,
              std::string& error) {
    if (result != 0) {
      error = std::string("the JPEG encoder failed: ") + tjGetErrorStr2(compressor);
      tjFree(data);
      return false;
    }
    jpeg.assign(reinterpret_cast<const char*>(data), size);
    tjFree(data);
    return true;
  }

  bool FromYuy2(const std::uint8_t* frame, int width, int height, int scale, std::string& jpeg,
                std::string& error) {
    if (compressor == nullptr) {
      error = "the JPEG encoder could not be set up";
      return false;
    }
    // The YUY2 samples go straight into planes (no RGB on the way), every
    // scale-th pixel when scaling down; the width stays even for 4:2:2.
    const int w = std::max(2, width / scale & ~1);
    const int h = std::max(1, height / scale);
    const std::size_t stride = static_cast<std::size_t>(width) * 2;
    y.resize(static_cast<std::size_t>(w) * h);
    u.resize(static_cast<std::size_t>(w / 2) * h);
    v.resize(u.size());
    for (int row = 0; row < h; ++row) {
      const std::uint8_t* in = frame + static_cast<std::size_t>(row * scale) * stride;
      std::uint8_t* yo = y.data() + static_cast<std::size_t>(row) * w;
      std::uint8_t* uo = u.data() + static_cast<std::size_t>(row) * (w / 2);
      std::uint8_t* vo = v.data() + static_cast<std::size_t>(row) * (w / 2);
      if (scale == 1) {
        for (int pair = 0; pair < w / 2; ++pair) {
          const std::uint8_t* p = in + pair * 4;
          yo[pair * 2] = p[0];
          uo[pair] = p[1];
          yo[pair * 2 + 1] = p[2];
          vo[pair] = p[3];
        }
      } else {
        for (int x = 0; x < w; ++x) yo[x] = in[static_cast<std::size_t>(x * scale) * 2];
        for (int pair = 0; pair < w / 2; ++pair) {
          const std::uint8_t* p = in + static_cast<std::size_t>(pair * scale) * 4;
          uo[pair] = p[1];
          vo[pair] = p[3];
        }
      }
    }
    const unsigned char* planes[3] = {y.data(), u.data(), v.data()};
    const int strides[3] = {w, w / 2, w / 2};
    unsigned char* data = nullptr;
    unsigned long size = 0;
    const int result = tjCompressFromYUVPlanes(compressor, planes, w, strides, h, TJSAMP_422, &data,
                                               &size, quality, TJFLAG_FASTDCT);
    return Finish(data, size, result, jpeg, error);
  }

  bool ShrinkJpeg(const std::uint8_t* frame, std::size_t length, int scale, std::string& jpeg,
                  std::string& error) {
    if (compressor == nullptr || decompressor == nullptr) {
      error = "the JPEG encoder could not be set up";
      return false;
    }
    // The decoder scales by 1/2 and 1/4 itself, at a fraction of the cost.
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(decompressor, frame, static_cast<unsigned long>(length), &width,
                            &height, &subsampling, &colorspace) != 0) {
      error = std::string("the frame is no JPEG image: ") + tjGetErrorStr2(decompressor);
      return false;
    }
    const int w = TJSCALED(width, (tjscalingfactor{1, scale}));
    const int h = TJSCALED(height, (tjscalingfactor{1, scale}));
    rgb.resize(static_cast<std::size_t>(w) * h * 3);
    if (tjDecompress2(decompressor, frame, static_cast<unsigned long>(length), rgb.data(), w, 0, h,
                      TJPF_RGB, TJFLAG_FASTDCT) != 0) {
      error = std::string("the frame does not decode: ") + tjGetErrorStr2(decompressor);
      return false;
    }
    unsigned char* data = nullptr;
    unsigned long size = 0;
    const int result = tjCompress2(compressor, rgb.data(), w, 0, h, TJPF_RGB, &data, &size,
                                   TJSAMP_422, quality, TJFLAG_FASTDCT);
    return Finish(data, size, result, jpeg, error);
  }
};

const char* PreviewEncoder::Name() { return "libturbojpeg"; }

#else

namespace {

// Every scale-th pixel of every scale-th row of 8-bit RGB; the size shrinks
// to what is whole.
void ShrinkRgb(std::vector<std::uint8_t>& rgb, int& width, int& height, int scale) {
  if (scale == 1) return;
  const int w = std::max(1, width / scale);
  const int h = std::max(1, height / scale);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = rgb.data() + static_cast<std::size_t>(y * scale) * width * 3;
    std::uint8_t* to = out.data() + static_cast<std::size_t>(y) * w * 3;
    for (int x = 0; x < w; ++x)
      std::copy_n(row + static_cast<std::size_t>(x * scale) * 3, 3, to + x * 3);
  }
  rgb.swap(out);
  width = w;
  height = h;
}

}  // namespace

struct PreviewEncoder::Impl {
  explicit Impl(int q) : quality(q) {}
  int quality;
  std::vector<std::uint8_t> rgb;
  std::vector<std::uint8_t> out;

  bool Write(int width, int height, std::string& jpeg, std::string& error) {
    if (!EncodeJpeg(rgb.data(), width, height, quality, out, error)) return false;
    jpeg.assign(out.begin(), out.end());
    return true;
  }

  bool FromYuy2(const std::uint8_t* frame, int width, int height, int scale, std::string& jpeg,
                std::string& error) {
    const std::size_t length = static_cast<std::size_t>(width) * height * 2;
    if (!Yuy2ToRgb(frame, length, width, height, rgb, error)) return false;
    ShrinkRgb(rgb, width, height, scale);
    return Write(width, height, jpeg, error);
  }

  bool ShrinkJpeg(const std::uint8_t* frame, std::size_t length, int scale, std::string& jpeg,
                  std::string& error) {
    int width = 0, height = 0;
    if (!DecodeJpeg(frame, length, rgb, width, height, error)) return false;
    ShrinkRgb(rgb, width, height, scale);
    return Write(width, height, jpeg, error);
  }
};

const char* PreviewEncoder::Name() { return "stb"; }

#endif

PreviewEncoder::PreviewEncoder(int quality)
    : impl_(std::make_unique<Impl>(std::clamp(quality, 1, 100))) {}
PreviewEncoder::~PreviewEncoder() = default;

bool PreviewEncoder::Encode(const std::uint8_t* frame, std::size_t length, int width, int height,
                            const std::string& format, int scale, std::string& jpeg,
                            std::string& error) {
  if (scale != 1 && scale != 2 && scale != 4) {
    error = "the scale is 1, 2 or 4, not " + std::to_string(scale);
    return false;
  }
  if (frame == nullptr || length == 0) {
    error = "the frame is empty";
    return false;
  }
  if (IsMjpg(format)) {
    if (scale == 1) {
      jpeg.assign(reinterpret_cast<const char*>(frame), length);
      return true;
    }
    return impl_->ShrinkJpeg(frame, length, scale, jpeg, error);
  }
  if (!IsYuy2(format)) {
    error = "the viewer shows YUY2 and MJPG streams, not " + format;
    return false;
  }
  if (width < 2 || height < 1 || width % 2 != 0 ||
      length < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2) {
    error = "a " + std::to_string(width) + "x" + std::to_string(height) + " YUY2 frame of " +
            std::to_string(length) + " bytes is cut short";
    return false;
  }
  return impl_->FromYuy2(frame, width, height, scale, jpeg, error);
}

}  // namespace qelctl::view
