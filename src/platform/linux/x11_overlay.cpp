#include "platform/linux/x11_overlay.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/shape.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
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

constexpr std::string_view kInitFailed = "Failed to initialize DirectDraw.";
constexpr std::string_view kUnsupported =
    "Your hardware doesn't support the overlay surfaces we are trying to create.";
constexpr std::string_view kCreateFailed = "Failed to create the overlay surface.";
constexpr std::string_view kShowFailed = "Failed to show the overlay surface";

// Reading the windows beneath is the costly part; damage can arrive on every
// frame of a video playing under the overlay.
constexpr auto kShapeInterval = std::chrono::milliseconds(33);

constexpr int kHostByteOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

// Xlib's default error handler ends the process. Windows beneath the overlay
// come and go at any moment, so errors on our own connections are recorded
// and otherwise ignored; errors on anyone else's connection go on to the
// handler that was installed before ours.
class ErrorLog {
 public:
  static void watch(Display* display) {
    Registry& registry = instance();
    std::lock_guard lock(registry.mutex);
    if (!registry.installed) {
      registry.previous = XSetErrorHandler(&ErrorLog::handle);
      registry.installed = true;
    }
    registry.displays.push_back({display, 0});
  }

  static void forget(Display* display) {
    Registry& registry = instance();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.displays, [display](const Entry& entry) { return entry.display == display; });
  }

  // The last error code seen on `display` since the previous call, or 0.
  static int take(Display* display) {
    Registry& registry = instance();
    std::lock_guard lock(registry.mutex);
    for (Entry& entry : registry.displays) {
      if (entry.display == display) return std::exchange(entry.lastError, 0);
    }
    return 0;
  }

 private:
  struct Entry {
    Display* display;
    int lastError;
  };
  struct Registry {
    std::mutex mutex;
    std::vector<Entry> displays;
    XErrorHandler previous = nullptr;
    bool installed = false;
  };

  static Registry& instance() {
    static Registry registry;
    return registry;
  }

  static int handle(Display* display, XErrorEvent* error) {
    XErrorHandler previous = nullptr;
    {
      Registry& registry = instance();
      std::lock_guard lock(registry.mutex);
      for (Entry& entry : registry.displays) {
        if (entry.display == display) {
          entry.lastError = error->error_code;
          return 0;
        }
      }
      previous = registry.previous;
    }
    return previous != nullptr ? previous(display, error) : 0;
  }
};

// Whether the requests made between construction and failed() were refused.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    ErrorLog::take(display_);
  }
  bool failed() {
    XSync(display_, False);
    return ErrorLog::take(display_) != 0;
  }

 private:
  Display* display_;
};

struct ImageShape {
  Visual* visual = nullptr;
  int depth = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ImageShape&) const = default;
};

// Pixel memory for images of any size up to the whole screen: shared with
// the X server (MIT-SHM) where it can be, so large pictures are not copied
// through the socket; plain memory otherwise.
class ImageMemory {
 public:
  ImageMemory() = default;
  ImageMemory(const ImageMemory&) = delete;
  ImageMemory& operator=(const ImageMemory&) = delete;
  ~ImageMemory() { release(); }

  void allocate(Display* display, std::size_t bytes, bool tryShared) {
    release();
    display_ = display;
    bytes_ = bytes;
    if (tryShared && attachShared()) return;
    plain_.assign(bytes, 0);
  }

  void release() {
    dropHeader();
    if (shared_) {
      XShmDetach(display_, &segment_);
      XSync(display_, False);
      shmdt(segment_.shmaddr);
      shared_ = false;
    }
    plain_ = {};
    bytes_ = 0;
  }

  bool shared() const { return shared_; }

  // An image of the given shape over this memory; nullptr if it cannot fit.
  XImage* image(const ImageShape& shape) {
    if (header_ != nullptr && headerShape_ == shape) return header_;
    dropHeader();
    if (display_ == nullptr || shape.width <= 0 || shape.height <= 0) return nullptr;
    const auto width = static_cast<unsigned>(shape.width);
    const auto height = static_cast<unsigned>(shape.height);
    if (shared_) {
      header_ = XShmCreateImage(display_, shape.visual, static_cast<unsigned>(shape.depth), ZPixmap,
                                segment_.shmaddr, &segment_, width, height);
    } else {
      header_ = XCreateImage(display_, shape.visual, static_cast<unsigned>(shape.depth), ZPixmap, 0,
                             reinterpret_cast<char*>(plain_.data()), width, height, 32, 0);
      // Xlib converts on the way to and from a server of the other order.
      if (header_ != nullptr) header_->byte_order = kHostByteOrder;
    }
    if (header_ == nullptr) return nullptr;
    if (static_cast<std::size_t>(header_->bytes_per_line) * height > bytes_) {
      dropHeader();
      return nullptr;
    }
    headerShape_ = shape;
    return header_;
  }

  bool read(Drawable drawable, int x, int y, XImage* image) {
    if (shared_) return XShmGetImage(display_, drawable, image, x, y, AllPlanes) != 0;
    return XGetSubImage(display_, drawable, x, y, static_cast<unsigned>(image->width),
                        static_cast<unsigned>(image->height), AllPlanes, ZPixmap, image, 0, 0) !=
           nullptr;
  }

  void write(Drawable drawable, GC gc, XImage* image) {
    const auto width = static_cast<unsigned>(image->width);
    const auto height = static_cast<unsigned>(image->height);
    if (shared_) {
      XShmPutImage(display_, drawable, gc, image, 0, 0, 0, 0, width, height, False);
    } else {
      XPutImage(display_, drawable, gc, image, 0, 0, 0, 0, width, height);
    }
  }

 private:
  bool attachShared() {
    if (ImageByteOrder(display_) != kHostByteOrder) return false;
    const int id = shmget(IPC_PRIVATE, bytes_, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* address = shmat(id, nullptr, 0);
    bool attached = false;
    if (address != reinterpret_cast<void*>(-1)) {
      segment_ = XShmSegmentInfo{};
      segment_.shmid = id;
      segment_.shmaddr = static_cast<char*>(address);
      segment_.readOnly = False;
      ErrorTrap trap(display_);
      attached = XShmAttach(display_, &segment_) != 0 && !trap.failed();
      if (!attached) shmdt(address);
    }
    // Marked for removal at once: the segment goes away with its last user,
    // even if this process dies.
    shmctl(id, IPC_RMID, nullptr);
    shared_ = attached;
    return attached;
  }

  void dropHeader() {
    if (header_ == nullptr) return;
    header_->data = nullptr;  // the memory is ours, not the image's
    XDestroyImage(header_);
    header_ = nullptr;
  }

  Display* display_ = nullptr;
  std::size_t bytes_ = 0;
  XShmSegmentInfo segment_{};
  bool shared_ = false;
  std::vector<std::uint8_t> plain_;
  XImage* header_ = nullptr;
  ImageShape headerShape_;
};

ScreenRect intersect(const ScreenRect& a, const ScreenRect& b) {
  const ScreenRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                     std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) return ScreenRect{};
  return r;
}

bool isEmpty(const ScreenRect& r) { return r.left >= r.right || r.top >= r.bottom; }
bool isEmpty(const ShapeRect& r) { return r.width <= 0 || r.height <= 0; }

ShapeRect clip(const ShapeRect& a, const ShapeRect& b) {
  const int left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  const int right = std::min(a.x + a.width, b.x + b.width), bottom = std::min(a.y + a.height, b.y + b.height);
  if (left >= right || top >= bottom) return ShapeRect{};
  return ShapeRect{left, top, right - left, bottom - top};
}

ShapeRect boundingBox(const ShapeRect& a, const ShapeRect& b) {
  const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const int right = std::max(a.x + a.width, b.x + b.width), bottom = std::max(a.y + a.height, b.y + b.height);
  return ShapeRect{left, top, right - left, bottom - top};
}

// Separate damaged areas are read one by one; beyond this many, the last
// one grows to take in the rest.
constexpr std::size_t kMaxDamagedAreas = 16;

std::uint32_t keyValue(const Rgb& colour) {
  auto channel = [](std::int32_t value) { return static_cast<std::uint32_t>(value) & 0xFFu; };
  return channel(colour.red) << 16 | channel(colour.green) << 8 | channel(colour.blue);
}

}  // namespace

// Everything that exists while the overlay has an X connection.
struct X11Overlay::Connection {
  explicit Connection(const PictureSource& pictures) : renderer(pictures) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ~Connection() {
    if (display == nullptr) return;
    for (const auto& tracked : damages) XDamageDestroy(display, tracked.second);
    damages.clear();
    if (window != 0) {
      XUnmapWindow(display, window);
      XDestroyWindow(display, window);
    }
    if (gc != nullptr) XFreeGC(display, gc);
    pictureMemory.release();
    captureMemory.release();
    if (redirected) XCompositeUnredirectSubwindows(display, root, CompositeRedirectAutomatic);
    XSync(display, False);
    ErrorLog::forget(display);
    XCloseDisplay(display);
  }

  bool open(const std::string& name) {
    display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (display == nullptr) return false;
    ErrorLog::watch(display);
    screen = DefaultScreen(display);
    root = RootWindow(display, screen);
    visual = DefaultVisual(display, screen);
    depth = DefaultDepth(display, screen);
    return true;
  }

  // 0, or which of the things the overlay needs is missing.
  int checkCapabilities() {
    int event = 0, error = 0, major = 0, minor = 0;
    // Input shapes (clicks passing through) came with Shape 1.1.
    if (!XShapeQueryExtension(display, &event, &error) || !XShapeQueryVersion(display, &major, &minor) ||
        (major == 1 && minor < 1)) {
      return -2;
    }
    major = 0;
    minor = 2;
    if (!XCompositeQueryExtension(display, &event, &error) ||
        !XCompositeQueryVersion(display, &major, &minor)) {
      return -3;
    }
    if (!XDamageQueryExtension(display, &damageEvent, &error)) return -4;
    major = 1;
    minor = 1;
    XDamageQueryVersion(display, &major, &minor);
    // The picture and the key test are written for 8-bit red, green, blue.
    if (visual->c_class != TrueColor || (depth != 24 && depth != 32) || visual->red_mask != 0xFF0000 ||
        visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF) {
      return -5;
    }
    return 0;
  }

  bool create(const DisplayState& state, std::span<const std::uint8_t> frame) {
    screenRect = ScreenRect{0, 0, state.screenWidth > 0 ? state.screenWidth : DisplayWidth(display, screen),
                            state.screenHeight > 0 ? state.screenHeight : DisplayHeight(display, screen)};
    {
      // Have the server keep every top-level window's pixels off-screen, so
      // we can read what lies beneath the overlay instead of the overlay.
      ErrorTrap trap(display);
      XCompositeRedirectSubwindows(display, root, CompositeRedirectAutomatic);
      redirected = !trap.failed();
      if (!redirected) return false;
    }

    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // no frame, no window manager placement
    attributes.background_pixmap = None;  // the picture covers it; avoids flashes
    attributes.border_pixel = 0;
    attributes.event_mask = ExposureMask;
    ErrorTrap trap(display);
    window = XCreateWindow(display, root, 0, 0, 1, 1, 0, depth, InputOutput, visual,
                           CWOverrideRedirect | CWBackPixmap | CWBorderPixel | CWEventMask, &attributes);
    XStoreName(display, window, "Tessary overlay");
    // An empty input shape: every click goes to the window beneath.
    XShapeCombineRectangles(display, window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    gc = XCreateGC(display, window, 0, nullptr);
    XSelectInput(display, root, SubstructureNotifyMask);
    if (trap.failed() || window == 0 || gc == nullptr) return false;

    const auto screenBytes = static_cast<std::size_t>(screenRect.right) *
                             static_cast<std::size_t>(screenRect.bottom) * 4;
    const bool shmPresent = XShmQueryExtension(display) != 0;
    pictureMemory.allocate(display, screenBytes, shmPresent);
    captureMemory.allocate(display, screenBytes, shmPresent);

    if (fillOverlaySurface(backBuffer, frame, state) != 0) return false;
    return convertBackBuffer();
  }

  int place(const DisplayState& state) {
    if (window == 0) return -1;
    key = keyValue(state.overlayColour);
    const ScreenRect area = intersect(state.renderArea, screenRect);
    wanted = state.overlayOn && !isEmpty(area);
    if (!wanted) {
      hide();
      XSync(display, False);
      return 0;
    }
    ErrorTrap trap(display);
    if (area != placed) {
      placed = area;
      XMoveResizeWindow(display, window, placed.left, placed.top, static_cast<unsigned>(placed.width()),
                        static_cast<unsigned>(placed.height()));
      stretcher.setSize(placed.width(), placed.height());
    }
    stackChanged = true;  // a new key or area: read everything again
    reshape();
    if (shown) XRaiseWindow(display, window);
    putPicture();
    return trap.failed() ? -1 : 0;
  }

  void present() {
    pump();
    renderer.render(backBuffer);  // a busy surface keeps its last picture
    if (!convertBackBuffer()) return;
    putPicture();
    // The server reads the shared image after the request; wait for it
    // before the next tick writes the memory again.
    XSync(display, False);
  }

  void pump() {
    if (window == 0) return;
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == damageEvent + XDamageNotify) {
        noteDamage(reinterpret_cast<const XDamageNotifyEvent&>(event));
        continue;
      }
      switch (event.type) {
        case Expose:
          if (event.xexpose.window == window && event.xexpose.count == 0) putPicture();
          break;
        case DestroyNotify:
          // The server frees a window's damage record with the window.
          damages.erase(event.xdestroywindow.window);
          stackChanged = true;
          break;
        // Our own moves and mappings are followed up where they are made.
        case ConfigureNotify:
          if (event.xconfigure.window != window) stackChanged = true;
          break;
        case MapNotify:
          if (event.xmap.window != window) stackChanged = true;
          break;
        case UnmapNotify:
          if (event.xunmap.window != window) stackChanged = true;
          break;
        case ReparentNotify:
        case CirculateNotify:
          stackChanged = true;
          break;
        default:
          break;
      }
    }
    if ((stackChanged || !damaged.empty()) && wanted &&
        std::chrono::steady_clock::now() - lastShape >= kShapeInterval) {
      reshape();
    }
    ErrorLog::take(display);
    XFlush(display);
  }

  void noteDamage(const XDamageNotifyEvent& event) {
    // The bounding box of the window's damage, in its own coordinates.
    const auto layer = std::find_if(layers.begin(), layers.end(),
                                    [&](const Layer& l) { return l.window == event.drawable; });
    if (layer == layers.end()) {
      stackChanged = true;
      return;
    }
    const ShapeRect area{layer->inside.x + event.area.x, layer->inside.y + event.area.y, event.area.width,
                         event.area.height};
    if (damaged.size() < kMaxDamagedAreas) {
      damaged.push_back(area);
    } else {
      damaged.back() = boundingBox(damaged.back(), area);
    }
  }

  // Rebuilds the overlay's shape from the key-coloured pixels of the windows
  // beneath it, and shows or hides the overlay accordingly. After a change of
  // the stack (windows mapped, moved, restacked) everything is read again;
  // after damage only the damaged areas.
  void reshape() {
    lastShape = std::chrono::steady_clock::now();
    if (window == 0 || !wanted) return;
    // Re-arm damage reporting before reading, so that nothing drawn after
    // the read goes unreported.
    for (const auto& tracked : damages) XDamageSubtract(display, tracked.second, None, None);
    const ShapeRect whole{0, 0, placed.width(), placed.height()};
    if (stackChanged || shape.width() != whole.width || shape.height() != whole.height) {
      stackChanged = false;
      damaged.clear();
      if (!readStack()) return;
      shape.reset(whole.width, whole.height);
      layIn(whole);
    } else {
      for (const ShapeRect& area : damaged) layIn(area);
      damaged.clear();
    }
    applyShape();
  }

  // Notes which windows lie beneath (or above) the overlay, bottom first.
  bool readStack() {
    Window rootReturn = 0, parentReturn = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, root, &rootReturn, &parentReturn, &children, &count) == 0) return false;

    layers.clear();
    std::unordered_set<Window> beneath;
    bool aboveOverlay = false;
    for (unsigned i = 0; i < count; ++i) {
      const Window child = children[i];
      if (child == window) {
        aboveOverlay = true;
        continue;
      }
      XWindowAttributes a;
      if (XGetWindowAttributes(display, child, &a) == 0) continue;  // gone meanwhile
      if (a.map_state != IsViewable || a.c_class == InputOnly) continue;
      Layer layer;
      layer.window = child;
      layer.outer = ShapeRect{a.x - placed.left, a.y - placed.top, a.width + 2 * a.border_width,
                              a.height + 2 * a.border_width};
      if (isEmpty(clip(layer.outer, ShapeRect{0, 0, placed.width(), placed.height()}))) continue;
      layer.inside = ShapeRect{layer.outer.x + a.border_width, layer.outer.y + a.border_width, a.width,
                               a.height};
      layer.visual = a.visual;
      layer.depth = a.depth;
      // Menus and tooltips may sit above the overlay and hide it; a managed
      // window that was raised over it is put back beneath.
      layer.hidesOnly = aboveOverlay && a.override_redirect;
      if (aboveOverlay && !a.override_redirect) raiseNeeded = true;
      layers.push_back(layer);
      if (layer.hidesOnly) continue;
      beneath.insert(child);
      if (!damages.contains(child)) {
        damages.emplace(child, XDamageCreate(display, child, XDamageReportBoundingBox));
      }
    }
    if (children != nullptr) XFree(children);

    // Stop watching windows that no longer lie beneath the overlay.
    for (auto it = damages.begin(); it != damages.end();) {
      if (beneath.contains(it->first)) {
        ++it;
      } else {
        XDamageDestroy(display, it->second);
        it = damages.erase(it);
      }
    }
    return true;
  }

  // Recomputes the key pixels inside `area` (overlay coordinates) from the
  // windows of the last stack reading.
  void layIn(ShapeRect area) {
    area = clip(area, ShapeRect{0, 0, placed.width(), placed.height()});
    if (isEmpty(area)) return;
    shape.cover(area);
    for (const Layer& layer : layers) {
      if (isEmpty(clip(layer.outer, area))) continue;
      shape.cover(clip(layer.outer, area));  // its border, and whatever cannot be read
      if (layer.hidesOnly) continue;
      const ShapeRect inside = clip(layer.inside, area);
      if (isEmpty(inside)) continue;
      XImage* image = captureMemory.image(ImageShape{layer.visual, layer.depth, inside.width, inside.height});
      if (image != nullptr && image->bits_per_pixel == 32 &&
          captureMemory.read(layer.window, inside.x - layer.inside.x, inside.y - layer.inside.y, image)) {
        shape.paint(inside, reinterpret_cast<const std::uint8_t*>(image->data), image->bytes_per_line, key);
      }
    }
  }

  void applyShape() {
    const std::span<const ShapeRect> rectangles = shape.rectangles();
    if (rectangles.empty()) {
      // An empty shape would show nothing anyway; unmapped, the window costs
      // the server nothing.
      hide();
      return;
    }
    shapeRectangles.clear();
    for (const ShapeRect& r : rectangles) {
      shapeRectangles.push_back(XRectangle{static_cast<short>(r.x), static_cast<short>(r.y),
                                           static_cast<unsigned short>(r.width),
                                           static_cast<unsigned short>(r.height)});
    }
    XShapeCombineRectangles(display, window, ShapeBounding, 0, 0, shapeRectangles.data(),
                            static_cast<int>(shapeRectangles.size()), ShapeSet, YXBanded);
    if (!shown) {
      XMapRaised(display, window);
      shown = true;
      raiseNeeded = false;
      putPicture();
    } else if (raiseNeeded) {
      XRaiseWindow(display, window);
      raiseNeeded = false;
    }
  }

  void hide() {
    if (!shown) return;
    XUnmapWindow(display, window);
    shown = false;
  }

  bool convertBackBuffer() {
    SurfaceLock lock;
    if (backBuffer.lock(LockWait::kNoWait, lock) != 0) return false;
    const bool converted = convertPictureToRgb(lock, rgb);
    backBuffer.unlock();
    return converted;
  }

  void putPicture() {
    if (!shown || stretcher.width() == 0) return;
    XImage* image = pictureMemory.image(ImageShape{visual, depth, stretcher.width(), stretcher.height()});
    if (image == nullptr || image->bits_per_pixel != 32) return;
    stretcher.stretch(rgb, reinterpret_cast<std::uint8_t*>(image->data), image->bytes_per_line);
    pictureMemory.write(window, gc, image);
  }

  Display* display = nullptr;
  int screen = 0;
  Window root = 0;
  Visual* visual = nullptr;
  int depth = 0;
  int damageEvent = 0;
  ScreenRect screenRect;
  bool redirected = false;

  Window window = 0;
  GC gc = nullptr;
  bool wanted = false;  // the overlay is on and its area is on the screen
  bool shown = false;   // mapped: wanted, and some key pixels show
  ScreenRect placed;
  std::uint32_t key = 0xFF00FF;

  MemoryOverlaySurface backBuffer{kFrameWidth, kFrameHeight, kFourCcUyvy};
  OverlayRenderer renderer;
  std::array<RgbPixel, kPicturePixels> rgb{};
  PictureStretcher stretcher;
  ImageMemory pictureMemory;
  ImageMemory captureMemory;

  // What lay beneath the overlay at the last reading of the stack.
  struct Layer {
    Window window = 0;
    ShapeRect outer;   // with its border, in overlay coordinates
    ShapeRect inside;  // without
    Visual* visual = nullptr;
    int depth = 0;
    bool hidesOnly = false;  // above the overlay
  };
  std::vector<Layer> layers;
  KeyShape shape;
  std::vector<XRectangle> shapeRectangles;
  std::unordered_map<Window, Damage> damages;
  std::vector<ShapeRect> damaged;  // overlay coordinates
  bool stackChanged = true;
  bool raiseNeeded = false;
  std::chrono::steady_clock::time_point lastShape;
};

X11Overlay::X11Overlay(const DisplayState& state, const PictureSource& pictures,
                       MemberCallback<std::string_view> reportError, std::string displayName)
    : state_(state), pictures_(pictures), reportError_(reportError), displayName_(std::move(displayName)) {}

X11Overlay::~X11Overlay() { overlayShutdown(); }

int X11Overlay::overlayInit() {
  overlayShutdown();
  auto report = [this](std::string_view message) {
    if (reportError_.isSet()) {
      reportError_(message);
    } else {
      traceDebug(message);
    }
  };

  auto connection = std::make_unique<Connection>(pictures_);
  if (!connection->open(displayName_)) {
    report(kInitFailed);
    return -1;
  }
  // From here on, what was made stays until overlayShutdown; operations that
  // need a missing part return -1.
  connection_ = std::move(connection);
  if (const int code = connection_->checkCapabilities(); code != 0) {
    FixedText<96> trace;
    formatText(trace.buffer(), "overlay: X server lacks a needed extension or visual (%d)", code);
    traceDebug(trace.view());
    report(kUnsupported);
    return -1;
  }
  if (!connection_->create(state_, pictures_.currentPicture().pixels)) {
    report(kCreateFailed);
    return -1;
  }
  if (overlayUpdatePosition() != 0) {
    report(kShowFailed);
    return -1;
  }
  return 0;
}

int X11Overlay::overlayUpdatePosition() {
  if (!connection_) return -1;
  return connection_->place(state_);
}

int X11Overlay::overlayPresent() {
  if (!connection_ || connection_->window == 0) return -1;
  connection_->present();
  return 0;
}

void X11Overlay::overlayShutdown() { connection_.reset(); }

int X11Overlay::connectionFd() const {
  return connection_ ? ConnectionNumber(connection_->display) : -1;
}

void X11Overlay::processEvents() {
  if (connection_) connection_->pump();
}

unsigned long X11Overlay::windowId() const { return connection_ ? connection_->window : 0; }

}  // namespace tessary
