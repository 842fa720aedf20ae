// The interface through which a capture channel holds its camera.
#pragma once

#include <cstdint>

namespace tessary {

class FrameSource {
 public:
  // The selected device's friendly name; never null.
  virtual const char* getName() = 0;
  virtual std::int32_t getMaxFrameRate() = 0;
  virtual bool getSize(std::int32_t& width, std::int32_t& height) = 0;
  // Never blocks. Writes the newest frame and returns true, or returns false
  // while no frame is available. The frame stays valid until the next call.
  virtual bool getFrame(const std::uint8_t*& frame) = 0;
  // 0 top-down, 2 bottom-up.
  virtual std::int32_t getOrientation() = 0;
  virtual bool start() = 0;
  virtual bool stop() = 0;

 protected:
  // Owners destroy cameras through their concrete type.
  ~FrameSource() = default;
};

}  // namespace tessary
