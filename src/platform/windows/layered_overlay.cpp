#include "platform/windows/layered_overlay.h"

// clang-format off
#include <windows.h>
#include <ddraw.h>
// clang-format on

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "common/frame.h"
#include "common/trace.h"
#include "display/key_shape.h"
#include "display/overlay_renderer.h"
#include "display/overlay_surface.h"
#include "display/picture_stretcher.h"

namespace tessary {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kCreateFailed = "Failed to create the overlay surface.";
constexpr std::string_view kShowFailed = "Failed to show the overlay surface";

// Reading the screen beneath is the costly part of a tick; the shape follows
// the client's painting at this pace.
constexpr auto kShapeInterval = std::chrono::milliseconds(100);
// Where the overlay must hide to read the screen: how long the windows
// beneath get to repaint what it covered, and how often it hides unasked, to
// notice key pixels that went away under the picture.
constexpr auto kHideSettle = std::chrono::milliseconds(60);
constexpr auto kRehideInterval = std::chrono::seconds(5);
// How long the start-up probe waits for our window to show in screen reads.
constexpr auto kProbeWait = std::chrono::milliseconds(1000);

// Newer than the SDK headers of some compilers.
constexpr DWORD kExcludeFromCapture = 0x11;
// Windows 10 version 2004, the first to leave excluded windows out of reads.
constexpr DWORD kFirstExcludingBuild = 19041;

constexpr char kWindowClass[] = "TessaryOverlay";

std::uint32_t keyValue(const Rgb& colour) {
  auto channel = [](std::int32_t value) { return static_cast<std::uint32_t>(value) & 0xFFu; };
  return channel(colour.red) << 16 | channel(colour.green) << 8 | channel(colour.blue);
}

ScreenRect intersect(const ScreenRect& a, const ScreenRect& b) {
  const ScreenRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) return ScreenRect{};
  return r;
}

bool isEmpty(const ScreenRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// A 32-bit top-down DIB section selected into its own memory DC: pixels as
// 0x00RRGGBB words, the layout the key test and the stretcher use.
class Dib {
 public:
  Dib() = default;
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;
  ~Dib() { release(); }

  bool allocate(int width, int height) {
    release();
    if (width <= 0 || height <= 0) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = dc_ != nullptr ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap_ == nullptr) {
      release();
      return false;
    }
    previous_ = SelectObject(dc_, bitmap_);
    pixels_ = static_cast<std::uint8_t*>(bits);
    width_ = width;
    height_ = height;
    return true;
  }

  void release() {
    if (dc_ != nullptr && previous_ != nullptr) SelectObject(dc_, previous_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (dc_ != nullptr) DeleteDC(dc_);
    dc_ = nullptr;
    bitmap_ = nullptr;
    previous_ = nullptr;
    pixels_ = nullptr;
    width_ = height_ = 0;
  }

  HDC dc() const { return dc_; }
  std::uint8_t* pixels() const { return pixels_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int pitch() const { return width_ * 4; }

  // Copies the screen at `area` (its size must be ours).
  bool readScreen(const ScreenRect& area) {
    if (dc_ == nullptr) return false;
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return false;
    // No CAPTUREBLT: where the system can, it leaves layered windows (ours)
    // out of the copy.
    const bool copied = BitBlt(dc_, 0, 0, width_, height_, screen, area.left, area.top, SRCCOPY) != 0;
    ReleaseDC(nullptr, screen);
    GdiFlush();
    return copied;
  }

  std::uint32_t pixel(int x, int y) const {
    std::uint32_t value = 0;
    std::memcpy(&value, pixels_ + static_cast<std::size_t>(y) * pitch() + static_cast<std::size_t>(x) * 4, 4);
    return value & 0xFFFFFF;
  }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  std::uint8_t* pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

DWORD windowsBuild() {
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const auto get = ntdll != nullptr ? reinterpret_cast<GetVersion>(
                                          reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                                    : nullptr;
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  return get != nullptr && get(&version) == 0 ? version.dwBuildNumber : 0;
}

// Asks the system to leave the window out of screen reads; true when the
// system is known to honour it.
bool excludeFromCapture(HWND window) {
  using SetAffinity = BOOL(WINAPI*)(HWND, DWORD);
  HMODULE user32 = GetModuleHandleA("user32.dll");
  const auto set = user32 != nullptr ? reinterpret_cast<SetAffinity>(reinterpret_cast<void*>(
                                           GetProcAddress(user32, "SetWindowDisplayAffinity")))
                                     : nullptr;
  // Earlier systems black the window out of reads instead, which would hide
  // the key under the picture.
  if (set == nullptr || windowsBuild() < kFirstExcludingBuild) return false;
  return set(window, kExcludeFromCapture) != 0;
}

LRESULT CALLBACK overlayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace

std::string_view describePresentation(OverlayPresentation presentation) {
  switch (presentation) {
    case OverlayPresentation::kExcludedScreenReads:
      return "overlay: software overlay (a layered window keyed on the screen beneath, which reads without it)";
    case OverlayPresentation::kScreenReadsBetweenHides:
      return "overlay: software overlay (a layered window keyed on the screen beneath, read while it hides for "
             "a tick on each change and every 5 s)";
    case OverlayPresentation::kNone:
      break;
  }
  return "overlay: none";
}

int probeOverlaySurfaces(int screenWidth) {
  IDirectDraw7* directDraw = nullptr;
  if (FAILED(DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7, nullptr)) ||
      directDraw == nullptr) {
    return -1;
  }
  DDCAPS caps{};
  caps.dwSize = sizeof caps;
  const HRESULT result = directDraw->GetCaps(&caps, nullptr);
  directDraw->Release();
  if (FAILED(result)) return -1;
  if ((caps.dwCaps & DDCAPS_OVERLAY) == 0) return -2;
  if ((caps.dwCaps & DDCAPS_OVERLAYSTRETCH) == 0) return -3;
  const DWORD stretch = static_cast<DWORD>(screenWidth) * 1000u / static_cast<DWORD>(kFrameWidth);
  if (stretch < caps.dwMinOverlayStretch) return -4;
  if (stretch > caps.dwMaxOverlayStretch) return -5;
  // An alignment of 0 is no demand (and no divisor).
  if ((caps.dwCaps & DDCAPS_ALIGNSIZEDEST) != 0 && caps.dwAlignSizeDest != 0 &&
      static_cast<DWORD>(screenWidth) % caps.dwAlignSizeDest != 0) {
    return -6;
  }
  if ((caps.dwCaps & DDCAPS_ALIGNSIZESRC) != 0 && caps.dwAlignSizeSrc != 0 &&
      static_cast<DWORD>(kFrameWidth) % caps.dwAlignSizeSrc != 0) {
    return -7;
  }
  if ((caps.dwCKeyCaps & DDCKEYCAPS_DESTOVERLAY) == 0) return -8;
  return 0;
}

// Everything that exists while the overlay has its window.
struct LayeredOverlay::Window {
  explicit Window(const PictureSource& pictures) : renderer(pictures) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() {
    if (hwnd != nullptr) DestroyWindow(hwnd);
  }

  bool create(const DisplayState& state, std::span<const std::uint8_t> frame) {
    screenRect = ScreenRect{0, 0, state.screenWidth > 0 ? state.screenWidth : GetSystemMetrics(SM_CXSCREEN),
                            state.screenHeight > 0 ? state.screenHeight : GetSystemMetrics(SM_CYSCREEN)};
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &overlayWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // Layered and transparent: every click goes to the window beneath.
    hwnd = CreateWindowExA(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                           kWindowClass, "Tessary overlay", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                           nullptr);
    if (hwnd == nullptr) return false;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (!SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA)) return false;
    if (fillOverlaySurface(backBuffer, frame, state) != 0 || !convertBackBuffer()) return false;
    presentation = excludeFromCapture(hwnd) || !readsSeeOurWindow() ? OverlayPresentation::kExcludedScreenReads
                                                                    : OverlayPresentation::kScreenReadsBetweenHides;
    return true;
  }

  // Shows the window over a small patch of the screen in a colour the patch
  // does not have, and tells whether a screen read finds it there.
  bool readsSeeOurWindow() {
    constexpr int kPatch = 8;
    const ScreenRect patch{screenRect.left, screenRect.top, screenRect.left + kPatch, screenRect.top + kPatch};
    Dib read;
    if (!read.allocate(kPatch, kPatch) || !read.readScreen(patch)) return true;
    const std::uint32_t probeColour = read.pixel(0, 0) ^ 0x808080;
    if (!picture.allocate(kPatch, kPatch)) return true;
    for (int y = 0; y < kPatch; ++y) {
      for (int x = 0; x < kPatch; ++x) {
        std::memcpy(picture.pixels() + static_cast<std::size_t>(y) * picture.pitch() + x * 4, &probeColour, 4);
      }
    }
    SetWindowPos(hwnd, HWND_TOPMOST, patch.left, patch.top, kPatch, kPatch,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    shown = true;
    bool seen = false;
    const auto deadline = Clock::now() + kProbeWait;
    while (!seen && Clock::now() < deadline) {
      paintPicture();
      MSG message;
      while (PeekMessageA(&message, hwnd, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(10);
      seen = read.readScreen(patch) && read.pixel(kPatch / 2, kPatch / 2) == probeColour;
    }
    ShowWindow(hwnd, SW_HIDE);
    shown = false;
    picture.release();
    return seen;
  }

  int place(const DisplayState& state) {
    if (hwnd == nullptr) return -1;
    const std::uint32_t newKey = keyValue(state.overlayColour);
    const ScreenRect area = intersect(state.renderArea, screenRect);
    wanted = state.overlayOn && !isEmpty(area);
    if (!wanted) {
      hide();
      return 0;
    }
    bool changed = newKey != key;
    key = newKey;
    if (area != placed) {
      changed = true;
      if (!picture.allocate(area.width(), area.height()) || !capture.allocate(area.width(), area.height()) ||
          !stretcher.setSize(area.width(), area.height())) {
        placed = ScreenRect{};
        hide();
        return -1;
      }
      placed = area;
      hide();  // the old shape means nothing at the new place
      if (!SetWindowPos(hwnd, HWND_TOPMOST, placed.left, placed.top, placed.width(), placed.height(),
                        SWP_NOACTIVATE)) {
        return -1;
      }
      stretchPicture();
    }
    if (changed) rereadNeeded = true;
    refreshShape(true);
    return 0;
  }

  void present() {
    renderer.render(backBuffer);  // a busy surface keeps its last picture
    if (convertBackBuffer()) stretchPicture();
    paintPicture();
    refreshShape(false);
  }

  // Follows the key pixels beneath the render area (see the header for the
  // two ways the screen is read).
  void refreshShape(bool now) {
    if (!wanted || capture.pixels() == nullptr) return;
    const Clock::time_point time = Clock::now();
    if (presentation == OverlayPresentation::kScreenReadsBetweenHides) {
      if (hidingToRead) {
        if (time - hiddenAt < kHideSettle) return;
        hidingToRead = false;
        lastHide = time;
        readShape(false);
        return;
      }
      if (shown && (rereadNeeded || time - lastHide >= kRehideInterval)) {
        hide();
        hidingToRead = true;
        hiddenAt = time;
        rereadNeeded = false;
        return;
      }
    }
    if (!now && time - lastShape < kShapeInterval) return;
    rereadNeeded = false;
    // Hidden, the overlay is not in the way of any read.
    readShape(shown && presentation == OverlayPresentation::kScreenReadsBetweenHides);
  }

  // Reads the screen and sets the shape from its key pixels. `underPicture`:
  // the read shows our own picture where the overlay is shown; those pixels
  // are taken to still show the key.
  void readShape(bool underPicture) {
    lastShape = Clock::now();
    if (!capture.readScreen(placed)) return;
    if (underPicture) {
      const std::uint32_t keyPixel = key;
      for (const ShapeRect& r : applied) {
        for (int y = r.y; y < r.y + r.height; ++y) {
          auto* row = reinterpret_cast<std::uint32_t*>(capture.pixels() + static_cast<std::size_t>(y) * capture.pitch());
          std::fill(row + r.x, row + r.x + r.width, keyPixel);
        }
      }
    }
    shape.reset(placed.width(), placed.height());
    shape.paint(ShapeRect{0, 0, placed.width(), placed.height()}, capture.pixels(), capture.pitch(), key);
    applyShape();
  }

  void applyShape() {
    const std::span<const ShapeRect> rectangles = shape.rectangles();
    if (rectangles.empty()) {
      hide();
      return;
    }
    if (!std::equal(rectangles.begin(), rectangles.end(), applied.begin(), applied.end()) || !shown) {
      applied.assign(rectangles.begin(), rectangles.end());
      regionData.assign(sizeof(RGNDATAHEADER) + applied.size() * sizeof(RECT), 0);
      auto* data = reinterpret_cast<RGNDATA*>(regionData.data());
      data->rdh.dwSize = sizeof(RGNDATAHEADER);
      data->rdh.iType = RDH_RECTANGLES;
      data->rdh.nCount = static_cast<DWORD>(applied.size());
      data->rdh.rcBound = RECT{0, 0, placed.width(), placed.height()};
      auto* rects = reinterpret_cast<RECT*>(data->Buffer);
      for (std::size_t i = 0; i < applied.size(); ++i) {
        const ShapeRect& r = applied[i];
        rects[i] = RECT{r.x, r.y, r.x + r.width, r.y + r.height};
      }
      HRGN region = ExtCreateRegion(nullptr, static_cast<DWORD>(regionData.size()), data);
      // The window owns the region from here on.
      if (region != nullptr && SetWindowRgn(hwnd, region, shown) == 0) DeleteObject(region);
    }
    if (!shown) {
      SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
      shown = true;
      paintPicture();
    }
  }

  void hide() {
    if (!shown) return;
    ShowWindow(hwnd, SW_HIDE);
    shown = false;
    applied.clear();
  }

  bool convertBackBuffer() {
    SurfaceLock lock;
    if (backBuffer.lock(LockWait::kNoWait, lock) != 0) return false;
    const bool converted = convertPictureToRgb(lock, rgb);
    backBuffer.unlock();
    return converted;
  }

  void stretchPicture() {
    if (picture.pixels() == nullptr || stretcher.width() != picture.width()) return;
    stretcher.stretch(rgb, picture.pixels(), picture.pitch());
  }

  void paintPicture() {
    if (!shown || picture.dc() == nullptr) return;
    HDC dc = GetDC(hwnd);
    if (dc == nullptr) return;
    BitBlt(dc, 0, 0, picture.width(), picture.height(), picture.dc(), 0, 0, SRCCOPY);
    ReleaseDC(hwnd, dc);
  }

  HWND hwnd = nullptr;
  OverlayPresentation presentation = OverlayPresentation::kNone;
  ScreenRect screenRect;
  bool wanted = false;  // the overlay is on and its area is on the screen
  bool shown = false;   // visible: wanted, and some key pixels show
  ScreenRect placed;
  std::uint32_t key = 0xFF00FF;

  MemoryOverlaySurface backBuffer{kFrameWidth, kFrameHeight, kFourCcUyvy};
  OverlayRenderer renderer;
  std::array<RgbPixel, kPicturePixels> rgb{};
  PictureStretcher stretcher;
  Dib picture;  // the stretched picture, the size of the placed area
  Dib capture;  // the screen beneath, the same size

  KeyShape shape;
  std::vector<ShapeRect> applied;  // the window's region now, overlay coordinates
  std::vector<std::uint8_t> regionData;
  bool rereadNeeded = true;
  bool hidingToRead = false;
  Clock::time_point hiddenAt;
  Clock::time_point lastHide;
  Clock::time_point lastShape;
};

namespace {

LRESULT CALLBACK overlayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_ERASEBKGND:
      return 1;  // the picture covers it; avoids flashes
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      auto* overlay = reinterpret_cast<LayeredOverlay::Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
      if (overlay != nullptr) overlay->paintPicture();
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

LayeredOverlay::LayeredOverlay(const DisplayState& state, const PictureSource& pictures,
                               MemberCallback<std::string_view> reportError)
    : state_(state), pictures_(pictures), reportError_(reportError) {}

LayeredOverlay::~LayeredOverlay() { overlayShutdown(); }

int LayeredOverlay::overlayInit() {
  overlayShutdown();
  auto report = [this](std::string_view message) {
    if (reportError_.isSet()) {
      reportError_(message);
    } else {
      traceDebug(message);
    }
  };
  const int screenWidth = state_.screenWidth > 0 ? state_.screenWidth : GetSystemMetrics(SM_CXSCREEN);
  // The hardware overlay is only asked about: display drivers stopped
  // offering overlay surfaces long ago, and the software overlay below
  // serves wherever they are missing.
  hardwareProbe_ = probeOverlaySurfaces(screenWidth);
  auto window = std::make_unique<Window>(pictures_);
  if (!window->create(state_, pictures_.currentPicture().pixels)) {
    report(kCreateFailed);
    return -1;
  }
  window_ = std::move(window);
  if (overlayUpdatePosition() != 0) {
    report(kShowFailed);
    return -1;
  }
  return 0;
}

int LayeredOverlay::overlayUpdatePosition() {
  if (!window_) return -1;
  return window_->place(state_);
}

int LayeredOverlay::overlayPresent() {
  if (!window_) return -1;
  window_->present();
  return 0;
}

void LayeredOverlay::overlayShutdown() { window_.reset(); }

OverlayPresentation LayeredOverlay::presentation() const {
  return window_ ? window_->presentation : OverlayPresentation::kNone;
}

std::uintptr_t LayeredOverlay::windowHandle() const {
  return window_ ? reinterpret_cast<std::uintptr_t>(window_->hwnd) : 0;
}

}  // namespace tessary
