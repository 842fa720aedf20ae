#include "capture/raw_capture_backend.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "capture/capture_backend_synthetic.h"

namespace tessary {
namespace {

namespace fs = std::filesystem;

bool isPipe(const std::string& path) {
  std::error_code error;
  return fs::is_fifo(path, error);
}

class RawSession final : public SyntheticCaptureSession {
 public:
  explicit RawSession(std::string path)
      : SyntheticCaptureSession(rawCameraName(path)), path_(std::move(path)) {}

  ~RawSession() override {
    stop();
    endPipeReader();
  }

  bool start() override {
    if (!connected_) {
      lastError_ = "Not connected.";
      return false;
    }
    if (isPipe(path_)) return startPipe();
    if (thread_.joinable()) return true;
    std::ifstream file(path_, std::ios::binary);
    std::error_code error;
    std::uintmax_t bytes = fs::file_size(path_, error);
    if (!file || error) {
      lastError_ = "Cannot read " + path_ + ".";
      return false;
    }
    if (bytes < kFrameBytes) {
      lastError_ = path_ + " holds no whole frame.";
      return false;
    }
    stop_.reset();
    thread_ = std::thread([this, frames = bytes / kFrameBytes, file = std::move(file)]() mutable {
      playFile(file, frames);
    });
    return true;
  }

  void stop() override {
    if (pipeReader_.joinable()) {
      // Taking the lock waits out a delivery already under way.
      std::lock_guard<std::mutex> lock(pipeDeliveryLock_);
      pipeStreaming_ = false;
    }
    if (!thread_.joinable()) return;
    stop_.request();
    thread_.join();
  }

 protected:
  BindResult openDevice() override {
    if (isPipe(path_)) return BindResult::kBound;  // opened on the first start
    std::ifstream file(path_, std::ios::binary);
    if (!file) {
      lastError_ = "Cannot open " + path_ + ".";
      return BindResult::kOpenFailed;
    }
    return BindResult::kBound;
  }

 private:
  void playFile(std::ifstream& file, std::uintmax_t frames) {
    FramePacer pacer(fps_);
    std::uintmax_t index = 0;
    std::int64_t time = 0;
    do {
      file.clear();
      file.seekg(static_cast<std::streamoff>(index * kFrameBytes));
      if (!file.read(reinterpret_cast<char*>(picture_.data()), kFrameBytes)) break;
      deliver(picture_.data(), time);
      time += frameIntervalFor(fps_);
      index = (index + 1) % frames;
    } while (pacer.waitNext(stop_));
  }

  // The pipe is opened for reading and writing, so opening never waits for a
  // writer and the reader sees no end when a writer goes away: the next
  // writer simply carries on. The reader runs until the session ends.
  bool startPipe() {
    if (!pipeReader_.joinable()) {
      pipe_ = std::fopen(path_.c_str(), "r+b");
      if (pipe_ == nullptr) {
        lastError_ = "Cannot open " + path_ + ".";
        return false;
      }
      std::setvbuf(pipe_, nullptr, _IONBF, 0);
      pipeReader_ = std::jthread([this](std::stop_token stop) { readPipe(stop); });
    }
    std::lock_guard<std::mutex> lock(pipeDeliveryLock_);
    pipeStreaming_ = true;
    return true;
  }

  void readPipe(std::stop_token stop) {
    while (!stop.stop_requested()) {
      if (std::fread(picture_.data(), 1, kFrameBytes, pipe_) != kFrameBytes) break;
      if (stop.stop_requested()) break;
      // The camera's handler takes no lock, so holding this one is safe.
      std::lock_guard<std::mutex> lock(pipeDeliveryLock_);
      if (!pipeStreaming_) continue;
      deliver(picture_.data(), 0);  // arrival time unknown
    }
    pipeReaderDone_.store(true, std::memory_order_release);
  }

  // A read waiting for a writer cannot be interrupted portably, so the
  // reader is fed filler bytes through a second handle until it notices the
  // stop. Our own read handle keeps the pipe open, so those writes never
  // meet a pipe without a reader.
  void endPipeReader() {
    if (!pipeReader_.joinable()) return;
    pipeReader_.request_stop();
    if (std::FILE* feed = std::fopen(path_.c_str(), "wb")) {
      std::setvbuf(feed, nullptr, _IONBF, 0);
      static constexpr std::array<char, 4096> kFiller{};
      while (!pipeReaderDone_.load(std::memory_order_acquire)) {
        if (std::fwrite(kFiller.data(), 1, kFiller.size(), feed) != kFiller.size()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      std::fclose(feed);
    }
    pipeReader_.join();
    std::fclose(pipe_);
    pipe_ = nullptr;
  }

  std::string path_;
  std::array<std::uint8_t, kFrameBytes> picture_{};  // as read, and as delivered
  std::FILE* pipe_ = nullptr;
  std::mutex pipeDeliveryLock_;
  bool pipeStreaming_ = false;  // guarded by pipeDeliveryLock_
  std::atomic<bool> pipeReaderDone_{false};
  std::jthread pipeReader_;  // only polls its stop token, never waits on it
  StreamStop stop_;          // of the file player
  std::thread thread_;
};

class RawBackend final : public CaptureBackend {
 public:
  explicit RawBackend(std::string path) : path_(std::move(path)) {}

  const char* kind() const override { return "raw"; }
  DeviceListResult listDevices(std::vector<std::string>& names) override {
    names.clear();
    std::error_code error;
    if (fs::exists(path_, error)) names.push_back(rawCameraName(path_));
    return DeviceListResult::kListed;
  }
  std::unique_ptr<CaptureSession> createSession() override {
    return std::make_unique<RawSession>(path_);
  }

 private:
  std::string path_;
};

}  // namespace

std::string rawCameraName(std::string_view path) { return "raw:" + std::string(path); }

std::unique_ptr<CaptureBackend> makeRawCaptureBackend(std::string path) {
  return std::make_unique<RawBackend>(std::move(path));
}

}  // namespace tessary
