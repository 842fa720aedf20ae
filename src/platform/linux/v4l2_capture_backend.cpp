#include "platform/linux/v4l2_capture_backend.h"

#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <thread>
#include <vector>

#include "capture/capture_backend_choice.h"
#include "platform/linux/v4l2_format.h"

namespace tessary {
namespace {

constexpr std::uint32_t kBufferCount = 4;
constexpr int kPollMilliseconds = 100;  // how soon the streaming thread notices a stop

struct VideoNode {
  int number = 0;
  std::string path;
  std::string card;
};

std::string errnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

// ioctl through libv4l2, retried when a signal interrupts it.
int xioctl(int fd, unsigned long request, void* argument) {
  int result;
  do {
    result = v4l2_ioctl(fd, request, argument);
  } while (result == -1 && errno == EINTR);
  return result;
}

// The numbered video nodes in the folder that can capture with streaming
// I/O, in number order. False when the folder cannot be read.
bool listVideoNodes(const std::string& folder, std::vector<VideoNode>& nodes) {
  nodes.clear();
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) return false;
  for (const auto& entry : entries) {
    std::string name = entry.path().filename().string();
    if (!name.starts_with("video") || name.size() == 5) continue;
    int number = 0;
    const char* digits = name.data() + 5;
    auto [end, parsed] = std::from_chars(digits, name.data() + name.size(), number);
    if (parsed != std::errc() || end != name.data() + name.size()) continue;
    // A plain open is enough to ask what the node is.
    int fd = ::open(entry.path().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    v4l2_capability capability{};
    bool capture = false;
    if (::ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0) {
      std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0
                               ? capability.device_caps
                               : capability.capabilities;
      capture = (caps & V4L2_CAP_VIDEO_CAPTURE) != 0 && (caps & V4L2_CAP_STREAMING) != 0;
    }
    ::close(fd);
    if (!capture) continue;
    const char* card = reinterpret_cast<const char*>(capability.card);
    nodes.push_back({number, entry.path().string(),
                     std::string(card, strnlen(card, sizeof(capability.card)))});
  }
  std::sort(nodes.begin(), nodes.end(),
            [](const VideoNode& a, const VideoNode& b) { return a.number < b.number; });
  return true;
}

class V4l2Session final : public CaptureSession {
 public:
  explicit V4l2Session(std::string folder) : folder_(std::move(folder)) {}
  ~V4l2Session() override { unbindDevice(); }

  BindResult bindDevice(std::string_view name) override {
    unbindDevice();
    std::vector<VideoNode> nodes;
    if (!listVideoNodes(folder_, nodes)) {
      lastError_ = "Cannot read " + folder_ + ".";
      return BindResult::kNoEnumerator;
    }
    if (nodes.empty()) return BindResult::kNoDevices;
    // When several devices carry the name, the last one listed is bound.
    auto match = std::find_if(nodes.rbegin(), nodes.rend(),
                              [&](const VideoNode& node) { return node.card == name; });
    if (match == nodes.rend()) return BindResult::kNotFound;
    fd_ = v4l2_open(match->path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
      lastError_ = errnoText(match->path.c_str());
      return BindResult::kOpenFailed;
    }
    v4l2_fmtdesc first{};
    first.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return xioctl(fd_, VIDIOC_ENUM_FMT, &first) == 0 ? BindResult::kBound
                                                     : BindResult::kBoundWithoutFormats;
  }

  void unbindDevice() override {
    stop();
    if (fd_ >= 0) v4l2_close(fd_);
    fd_ = -1;
    formatSet_ = false;
    connected_ = false;
  }

  bool listCapabilities(std::vector<CaptureCapability>& capabilities) override {
    capabilities.clear();
    if (fd_ < 0) return false;
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; xioctl(fd_, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
      addSizes(format.pixelformat, capabilities);
    }
    return format.index > 0;
  }

  bool setFormat(const CaptureCapability& capability, std::int32_t fps) override {
    if (fd_ < 0 || streaming_.joinable()) return false;
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = static_cast<std::uint32_t>(capability.width);
    format.fmt.pix.height = static_cast<std::uint32_t>(std::abs(capability.height));
    format.fmt.pix.pixelformat = capability.nativeCode;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (xioctl(fd_, VIDIOC_S_FMT, &format) != 0) {
      lastError_ = errnoText("VIDIOC_S_FMT");
      return false;
    }
    if (format.fmt.pix.pixelformat != capability.nativeCode ||
        format.fmt.pix.width != static_cast<std::uint32_t>(capability.width) ||
        format.fmt.pix.height != static_cast<std::uint32_t>(std::abs(capability.height))) {
      lastError_ = "The device changed the requested format.";
      return false;
    }
    fourcc_ = format.fmt.pix.pixelformat;
    width_ = static_cast<std::int32_t>(format.fmt.pix.width);
    height_ = static_cast<std::int32_t>(format.fmt.pix.height);
    bytesPerLine_ = format.fmt.pix.bytesperline;
    formatSet_ = true;
    // A new rate keeps the chain connected; a new size needs a matching frame.
    if (connected_) connected_ = connect() == ConnectResult::kConnected;
    setFrameInterval(fps);
    return true;
  }

  ConnectResult connect() override {
    if (!formatSet_) {
      lastError_ = "No format applied.";
      return ConnectResult::kFailed;
    }
    if (!canConvertV4l2(fourcc_)) return ConnectResult::kFormatRefused;
    frame_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4, 0);
    connected_ = true;
    return ConnectResult::kConnected;
  }

  void setCallback(SampleGrabberCallbackRef callback) override { callback_ = std::move(callback); }

  bool start() override {
    if (streaming_.joinable()) return true;
    if (!connected_) {
      lastError_ = "Not connected.";
      return false;
    }
    if (!mapBuffers()) {
      unmapBuffers();
      return false;
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_STREAMON, &type) != 0) {
      lastError_ = errnoText("VIDIOC_STREAMON");
      unmapBuffers();
      return false;
    }
    streaming_ = std::jthread([this](std::stop_token stop) { stream(stop); });
    return true;
  }

  void stop() override {
    if (!streaming_.joinable()) return;
    streaming_.request_stop();
    streaming_.join();
    streaming_ = std::jthread();
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(fd_, VIDIOC_STREAMOFF, &type);
    unmapBuffers();
  }

  std::string lastError() const override { return lastError_; }

 private:
  struct MappedBuffer {
    void* start = MAP_FAILED;
    std::size_t length = 0;
  };

  void addSizes(std::uint32_t fourcc, std::vector<CaptureCapability>& capabilities) {
    PixelFormat pixelFormat = pixelFormatFromV4l2(fourcc);
    auto add = [&](std::uint32_t width, std::uint32_t height) {
      // Delivered bottom-up, so every size is listed with a positive height.
      capabilities.push_back({pixelFormat, static_cast<std::int32_t>(width),
                              static_cast<std::int32_t>(height), fourcc});
    };
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    for (size.index = 0; xioctl(fd_, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
      if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        add(size.discrete.width, size.discrete.height);
        continue;
      }
      // A range: its smallest and largest sizes, and the capture size when
      // the range holds it.
      const v4l2_frmsize_stepwise& range = size.stepwise;
      add(range.min_width, range.min_height);
      auto holds = [](std::uint32_t value, std::uint32_t low, std::uint32_t high,
                      std::uint32_t step) {
        return value >= low && value <= high && (step == 0 || (value - low) % step == 0);
      };
      if (holds(160, range.min_width, range.max_width, range.step_width) &&
          holds(120, range.min_height, range.max_height, range.step_height)) {
        add(160, 120);
      }
      add(range.max_width, range.max_height);
      break;
    }
  }

  // The rate goes through the frame interval; a driver without one keeps
  // its own rate, which is not an error.
  void setFrameInterval(std::int32_t fps) {
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_G_PARM, &parameters) != 0 ||
        (parameters.parm.capture.capability & V4L2_CAP_TIMEPERFRAME) == 0) {
      return;
    }
    auto interval = static_cast<std::uint64_t>(frameIntervalFor(fps));
    std::uint64_t unitsPerSecond = 10'000'000;
    std::uint64_t divisor = std::gcd(interval, unitsPerSecond);
    parameters.parm.capture.timeperframe.numerator = static_cast<std::uint32_t>(interval / divisor);
    parameters.parm.capture.timeperframe.denominator =
        static_cast<std::uint32_t>(unitsPerSecond / divisor);
    xioctl(fd_, VIDIOC_S_PARM, &parameters);
  }

  bool mapBuffers() {
    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_REQBUFS, &request) != 0 || request.count == 0) {
      lastError_ = errnoText("VIDIOC_REQBUFS");
      return false;
    }
    buffers_.assign(request.count, MappedBuffer{});
    for (std::uint32_t index = 0; index < request.count; ++index) {
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      buffer.index = index;
      if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) != 0) {
        lastError_ = errnoText("VIDIOC_QUERYBUF");
        return false;
      }
      void* start = v4l2_mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                              buffer.m.offset);
      if (start == MAP_FAILED) {
        lastError_ = errnoText("mmap");
        return false;
      }
      buffers_[index] = {start, buffer.length};
      if (xioctl(fd_, VIDIOC_QBUF, &buffer) != 0) {
        lastError_ = errnoText("VIDIOC_QBUF");
        return false;
      }
    }
    return true;
  }

  void unmapBuffers() {
    for (const MappedBuffer& buffer : buffers_) {
      if (buffer.start != MAP_FAILED) v4l2_munmap(buffer.start, buffer.length);
    }
    buffers_.clear();
    if (fd_ < 0) return;
    v4l2_requestbuffers release{};
    release.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    release.memory = V4L2_MEMORY_MMAP;
    xioctl(fd_, VIDIOC_REQBUFS, &release);
  }

  void stream(std::stop_token stop) {
    while (!stop.stop_requested()) {
      pollfd waiting{fd_, POLLIN, 0};
      int ready = ::poll(&waiting, 1, kPollMilliseconds);
      if (ready < 0 && errno != EINTR) break;
      if (ready <= 0) continue;
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      if (xioctl(fd_, VIDIOC_DQBUF, &buffer) != 0) {
        if (errno == EAGAIN || errno == EIO) continue;
        break;
      }
      if (buffer.index < buffers_.size() && (buffer.flags & V4L2_BUF_FLAG_ERROR) == 0) {
        std::span<const std::uint8_t> picture(
            static_cast<const std::uint8_t*>(buffers_[buffer.index].start),
            std::min<std::size_t>(buffer.bytesused, buffers_[buffer.index].length));
        if (convertToRgb32BottomUp(fourcc_, picture, width_, height_, bytesPerLine_, frame_)) {
          std::int64_t time = static_cast<std::int64_t>(buffer.timestamp.tv_sec) * 10'000'000 +
                              buffer.timestamp.tv_usec * 10;
          MediaSample sample{frame_.data(), frame_.size(), time};
          if (callback_) callback_->SampleCB(static_cast<double>(time) / 1e7, &sample);
        }
      }
      xioctl(fd_, VIDIOC_QBUF, &buffer);
    }
  }

  std::string folder_;
  int fd_ = -1;
  bool formatSet_ = false;
  bool connected_ = false;
  std::uint32_t fourcc_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::uint32_t bytesPerLine_ = 0;
  std::vector<MappedBuffer> buffers_;
  std::vector<std::uint8_t> frame_;  // the converted frame, reused for every sample
  SampleGrabberCallbackRef callback_;
  std::string lastError_;
  std::jthread streaming_;
};

class V4l2Backend final : public CaptureBackend {
 public:
  explicit V4l2Backend(std::string folder) : folder_(std::move(folder)) {}

  const char* kind() const override { return "v4l2"; }

  DeviceListResult listDevices(std::vector<std::string>& names) override {
    names.clear();
    std::vector<VideoNode> nodes;
    if (!listVideoNodes(folder_, nodes)) return DeviceListResult::kNoEnumerator;
    for (VideoNode& node : nodes) {
      if (!node.card.empty()) names.push_back(std::move(node.card));
    }
    return DeviceListResult::kListed;
  }

  std::unique_ptr<CaptureSession> createSession() override {
    return std::make_unique<V4l2Session>(folder_);
  }

 private:
  std::string folder_;
};

std::unique_ptr<CaptureBackend> makeDefaultV4l2Backend() { return makeV4l2CaptureBackend(); }

}  // namespace

std::unique_ptr<CaptureBackend> makeV4l2CaptureBackend(std::string deviceFolder) {
  return std::make_unique<V4l2Backend>(std::move(deviceFolder));
}

std::unique_ptr<CaptureBackend> makeCaptureBackend(std::string_view source, std::string& error,
                                                   std::string* choice) {
  return chooseCaptureBackend(source, "v4l2", &makeDefaultV4l2Backend, error, choice);
}

}  // namespace tessary
