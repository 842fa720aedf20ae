#include "platform/windows/layered_overlay.h"

// clang-format off
#include <windows.h>
#include <ddraw.h>
// clang-format on

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "common/fixed_text.h"
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
// A read that takes long is followed by a pause this many times as long.
constexpr int kReadSpacing = 3;
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

// Reads the screen beneath the overlay and finds its key pixels, on a thread
// of its own: one read can take longer than a frame tick (hundreds of
// milliseconds for a full HD area under Wine), and the tick must not wait
// for it. One read at a time; the overlay's thread asks and later takes the
// result. The thread is owned by the reader and stopped by its destructor.
class KeyReader {
 public:
  struct Request {
    ScreenRect area;
    std::uint32_t key = 0;
    // Pixels (area coordinates) taken to show the key whatever the read
    // says: where the read finds our own picture.
    std::vector<ShapeRect> assumedKey;
    std::uint64_t generation = 0;
  };
  struct Result {
    std::vector<ShapeRect> rectangles;
    std::uint64_t generation = 0;
    bool read = false;  // false when the screen could not be read
    bool assumed = false;
    Clock::duration took{};
  };

  KeyReader() : thread_([this] { run(); }) {}
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;
  ~KeyReader() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  // False while the previous read is under way or its result not taken.
  bool request(Request request) {
    {
      std::lock_guard lock(mutex_);
      if (busy_) return false;
      request_ = std::move(request);
      busy_ = true;
      pending_ = true;
    }
    wake_.notify_all();
    return true;
  }

  bool busy() const {
    std::lock_guard lock(mutex_);
    return busy_;
  }

  std::optional<Result> take() {
    std::lock_guard lock(mutex_);
    if (!result_) return std::nullopt;
    busy_ = false;
    return std::exchange(result_, std::nullopt);
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || pending_; });
      if (stopping_) return;
      pending_ = false;
      const Request request = request_;
      lock.unlock();
      Result result = read(request);
      lock.lock();
      result_ = std::move(result);
    }
  }

  // Reader thread only.
  Result read(const Request& request) {
    const Clock::time_point start = Clock::now();
    Result result = readKey(request);
    result.took = Clock::now() - start;
    return result;
  }

  Result readKey(const Request& request) {
    Result result;
    result.generation = request.generation;
    result.assumed = !request.assumedKey.empty();
    const int width = request.area.width();
    const int height = request.area.height();
    if ((capture_.width() != width || capture_.height() != height) && !capture_.allocate(width, height)) {
      return result;
    }
    if (!capture_.readScreen(request.area)) return result;
    for (const ShapeRect& r : request.assumedKey) {
      for (int y = std::max(r.y, 0); y < std::min(r.y + r.height, height); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(capture_.pixels() + static_cast<std::size_t>(y) * capture_.pitch());
        std::fill(row + std::max(r.x, 0), row + std::min(r.x + r.width, width), request.key);
      }
    }
    shape_.reset(width, height);
    shape_.paint(ShapeRect{0, 0, width, height}, capture_.pixels(), capture_.pitch(), request.key);
    const std::span<const ShapeRect> rectangles = shape_.rectangles();
    result.rectangles.assign(rectangles.begin(), rectangles.end());
    result.read = true;
    return result;
  }

  Dib capture_;     // reader thread only
  KeyShape shape_;  // reader thread only

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;          // guarded by mutex_
  bool pending_ = false;           // guarded by mutex_: request_ not yet picked up
  bool busy_ = false;              // guarded by mutex_: from request() until take()
  Request request_;                // guarded by mutex_
  std::optional<Result> result_;   // guarded by mutex_
  std::thread thread_;             // last: starts once the rest exists
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
      return "overlay: software overlay (a layered window keyed on the screen beneath, read while it hides "
             "briefly on each change and every 5 s)";
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
    hide();
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
      if (!picture.allocate(area.width(), area.height()) || !stretcher.setSize(area.width(), area.height())) {
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
    if (changed) {
      ++generation;  // reads under way were made for the old key or place
      rereadNeeded = true;
      hidingToRead = false;
    }
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
    if (!wanted) return;
    takeRead();
    const Clock::time_point time = Clock::now();
    const bool hides = presentation == OverlayPresentation::kScreenReadsBetweenHides;
    if (hidingToRead) {
      // Hidden to read the screen without us: once the windows beneath have
      // repainted, read; the result shows the overlay again.
      if (!hideReadAsked && time - hiddenAt >= kHideSettle) hideReadAsked = askRead(false);
      return;
    }
    if (reader.busy()) return;
    if (hides && shown && (rereadNeeded || time - lastHide >= kRehideInterval)) {
      hide();
      hidingToRead = true;
      hideReadAsked = false;
      hiddenAt = time;
      rereadNeeded = false;
      return;
    }
    // Reads that take long come less often, so they keep the window system
    // (which they hold up meanwhile, under Wine) mostly free for the picture.
    const Clock::duration interval = std::max<Clock::duration>(kShapeInterval, kReadSpacing * lastReadTook);
    if (!now && !rereadNeeded && time - lastShape < interval) return;
    // Hidden, the overlay is not in the way of any read.
    if (askRead(hides && shown)) rereadNeeded = false;
  }

  bool askRead(bool assumeKeyUnderPicture) {
    lastShape = Clock::now();
    KeyReader::Request request{placed, key, {}, generation};
    if (assumeKeyUnderPicture) request.assumedKey = applied;
    return reader.request(std::move(request));
  }

  void takeRead() {
    std::optional<KeyReader::Result> result = reader.take();
    if (!result) return;
    lastReadTook = result->took;
    if (result->generation != generation || !result->read) {
      if (hidingToRead) hideReadAsked = false;  // ask again
      return;
    }
    if (hidingToRead) {
      if (result->assumed) return;  // asked before hiding; the hidden read follows
      hidingToRead = false;
      lastHide = Clock::now();
    }
    applyShape(result->rectangles);
  }

  void applyShape(std::span<const ShapeRect> rectangles) {
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
      // Back on top: other topmost windows may have come up meanwhile.
      SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
      shown = true;
      paintPicture();
    }
  }

  // Hiding cuts the window to nothing instead of unmapping it: under Wine
  // an unmapped window can take seconds to come back.
  void hide() {
    if (!shown) return;
    HRGN nothing = CreateRectRgn(0, 0, 0, 0);
    if (nothing != nullptr && SetWindowRgn(hwnd, nothing, TRUE) == 0) DeleteObject(nothing);
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

  KeyReader reader;
  std::uint64_t generation = 0;    // of the key and place; reads for older ones are dropped
  std::vector<ShapeRect> applied;  // the window's region now, overlay coordinates
  std::vector<std::uint8_t> regionData;
  bool rereadNeeded = true;
  bool hidingToRead = false;
  bool hideReadAsked = false;
  Clock::duration lastReadTook{};
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
                               MemberCallback<std::string_view> reportError,
                               MemberCallback<std::string_view> notePresentation)
    : state_(state), pictures_(pictures), reportError_(reportError), notePresentation_(notePresentation) {}

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
  if (notePresentation_.isSet()) {
    FixedText<80> probe;
    if (hardwareProbe_ == 0) {
      formatText(probe.buffer(), "overlay: the display driver offers overlay surfaces; they are not used");
    } else {
      formatText(probe.buffer(), "overlay: the display driver offers no usable overlay surface (%d)", hardwareProbe_);
    }
    notePresentation_(probe.view());
    notePresentation_(describePresentation(window_->presentation));
  }
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
