// Cost per fed frame tick of the Windows software overlay, at 640 x 480 and
// 1920 x 1080, over a window that shows the key colour in the middle half of
// the render area. Ticks come every 66 ms as in the program, so the screen
// reads behind the shape happen at their own pace (every 100 ms) and count
// in the figures. Google Benchmark is not cross-built, so this is a plain
// program:
//
//   layered_overlay_timing [TICKS]      (default 150; the screen must hold
//                                       1920 x 1080, e.g. Xvfb under Wine)
//
// Prints, per size: wall time of a tick (overlayPresent and the messages it
// causes) as mean, median and maximum, and this process's CPU time per tick.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/frame.h"
#include "platform/windows/layered_overlay.h"

namespace tessary {
namespace {

class GreyPictures final : public PictureSource {
 public:
  PictureFrame currentPicture() const override { return PictureFrame{frame_, {false, true}}; }

 private:
  std::vector<std::uint8_t> frame_ = std::vector<std::uint8_t>(kFrameBytes, 0x60);
};

LRESULT CALLBACK keyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcA(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client{};
  GetClientRect(window, &client);
  HBRUSH grey = CreateSolidBrush(RGB(0x80, 0x80, 0x80));
  HBRUSH key = CreateSolidBrush(RGB(255, 0, 255));
  FillRect(dc, &client, grey);
  RECT middle{client.right / 4, client.bottom / 4, client.right * 3 / 4, client.bottom * 3 / 4};
  FillRect(dc, &middle, key);
  DeleteObject(grey);
  DeleteObject(key);
  EndPaint(window, &paint);
  return 0;
}

void pumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

double cpuSeconds() {
  FILETIME creation, exit, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
  auto seconds = [](const FILETIME& time) {
    return static_cast<double>(static_cast<unsigned long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

bool measure(int width, int height, int ticks) {
  HWND keyWindow = CreateWindowExA(0, "TimingKeyWindow", "", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(keyWindow);
  DisplayState state;
  state.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  state.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  state.renderArea = ScreenRect{0, 0, width, height};
  GreyPictures pictures;
  LayeredOverlay overlay(state, pictures, {});
  if (overlay.overlayInit() != 0) {
    std::printf("%dx%d: the overlay did not start\n", width, height);
    DestroyWindow(keyWindow);
    return false;
  }
  for (int i = 0; i < 30; ++i) {  // until the shape has settled
    overlay.overlayPresent();
    pumpMessages();
    Sleep(66);
  }
  std::vector<double> milliseconds;
  const double cpuBefore = cpuSeconds();
  for (int i = 0; i < ticks; ++i) {
    const auto start = std::chrono::steady_clock::now();
    overlay.overlayPresent();
    pumpMessages();
    GdiFlush();
    milliseconds.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    Sleep(66);
  }
  const double cpuPerTick = (cpuSeconds() - cpuBefore) * 1000.0 / ticks;
  std::vector<double> sorted = milliseconds;
  std::sort(sorted.begin(), sorted.end());
  double sum = 0;
  for (double value : milliseconds) sum += value;
  std::printf("%dx%d: tick %.2f ms mean, %.2f ms median, %.2f ms max; CPU %.2f ms per tick (%d ticks)\n", width,
              height, sum / ticks, sorted[sorted.size() / 2], sorted.back(), cpuPerTick, ticks);
  std::printf("  %s\n", std::string(describePresentation(overlay.presentation())).c_str());
  overlay.overlayShutdown();
  DestroyWindow(keyWindow);
  pumpMessages();
  return true;
}

}  // namespace
}  // namespace tessary

int main(int argc, char** argv) {
  const int ticks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 150;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &tessary::keyWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TimingKeyWindow";
  RegisterClassA(&windowClass);
  if (GetSystemMetrics(SM_CXSCREEN) < 1920 || GetSystemMetrics(SM_CYSCREEN) < 1080) {
    std::printf("the screen is smaller than 1920 x 1080\n");
    return 1;
  }
  const bool measured = tessary::measure(640, 480, ticks) && tessary::measure(1920, 1080, ticks);
  return measured ? 0 : 1;
}
