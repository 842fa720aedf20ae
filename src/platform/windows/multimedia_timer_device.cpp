#include "platform/windows/multimedia_timer_device.h"

#include <windows.h>
#include <mmsystem.h>

namespace tessary {
namespace {

class MultimediaTimerDevice final : public TimerDevice {
 public:
  std::uint32_t getCapabilities(TimerCapabilities& capabilities) override {
    TIMECAPS caps{};
    const MMRESULT result = ::timeGetDevCaps(&caps, sizeof(caps));
    if (result != TIMERR_NOERROR) return result;
    capabilities.periodMin = caps.wPeriodMin;
    capabilities.periodMax = caps.wPeriodMax;
    return kTimerNoError;
  }
  std::uint32_t beginPeriod(std::uint32_t resolution) override { return ::timeBeginPeriod(resolution); }
  void endPeriod(std::uint32_t resolution) override { ::timeEndPeriod(resolution); }
};

}  // namespace

TimerDevice& multimediaTimerDevice() {
  static MultimediaTimerDevice device;
  return device;
}

}  // namespace tessary
