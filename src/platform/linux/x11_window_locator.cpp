#include "platform/linux/x11_window_locator.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XRes.h>

#include <utility>
#include <vector>

#include "platform/linux/proc_net_tcp.h"

namespace tessary {
namespace {

// Xlib's default error handler ends the process, and the windows we read
// belong to another program that may close them at any moment. For the
// lifetime of a trap, errors on the trapped connection are recorded instead;
// errors on any other connection go on to the handler installed before.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);  // earlier errors are not ours to count
    trapped_ = display_;
    error_ = 0;
    previous_ = XSetErrorHandler(&ErrorTrap::handle);
  }
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
    trapped_ = nullptr;
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Whether any request since the trap was set (or since the last call) failed.
  bool failed() {
    XSync(display_, False);
    return std::exchange(error_, 0) != 0;
  }
  // Forgets errors so far. Requests with a reply have had their errors
  // delivered by the time they return, so no round trip is needed.
  void forget() { error_ = 0; }

 private:
  static int handle(Display* display, XErrorEvent* event) {
    if (display == trapped_) {
      error_ = event->error_code;
      return 0;
    }
    return previous_ != nullptr ? previous_(display, event) : 0;
  }

  Display* display_;
  // Xlib keeps one handler per process; one trap is set at a time.
  static inline Display* trapped_ = nullptr;
  static inline int error_ = 0;
  static inline XErrorHandler previous_ = nullptr;
};

struct PropertyData {
  void operator()(unsigned char* data) const { XFree(data); }
};

// A property of 32-bit items (windows, cardinals), as Xlib hands them out:
// one long per item.
std::vector<unsigned long> readLongProperty(Display* display, Window window, Atom property, Atom type) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* raw = nullptr;
  const int status = XGetWindowProperty(display, window, property, 0, 1L << 16, False, type, &actualType,
                                        &actualFormat, &count, &remaining, &raw);
  const std::unique_ptr<unsigned char, PropertyData> data(raw);
  if (status != Success || actualType != type || actualFormat != 32 || data == nullptr) return {};
  const auto* items = reinterpret_cast<const unsigned long*>(data.get());
  return std::vector<unsigned long>(items, items + count);
}

}  // namespace

struct X11WindowLocator::Connection {
  explicit Connection(Display* opened) : display(opened) {
    root = DefaultRootWindow(display);
    clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
    wmPid = XInternAtom(display, "_NET_WM_PID", False);
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    // Asking for a client's process needs version 1.2.
    hasResourceIds = XResQueryExtension(display, &eventBase, &errorBase) &&
                     XResQueryVersion(display, &major, &minor) &&
                     (major > 1 || (major == 1 && minor >= 2));
  }
  ~Connection() { XCloseDisplay(display); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The client windows a window manager lists; under a manager that frames
  // windows they are not the root's children.
  std::vector<Window> managedWindows() {
    const std::vector<unsigned long> managed = readLongProperty(display, root, clientList, XA_WINDOW);
    return std::vector<Window>(managed.begin(), managed.end());
  }

  std::vector<Window> rootChildren() {
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count) == 0) return {};
    std::vector<Window> windows(children, children + count);
    if (children != nullptr) XFree(children);
    return windows;
  }

  // The window's process, or -1 when neither the client nor the server says.
  pid_t processOf(Window window) {
    const std::vector<unsigned long> declared = readLongProperty(display, window, wmPid, XA_CARDINAL);
    if (!declared.empty()) return static_cast<pid_t>(declared.front());
    if (!hasResourceIds) return -1;
    XResClientIdSpec query{window, XRES_CLIENT_ID_PID_MASK};
    long idCount = 0;
    XResClientIdValue* ids = nullptr;
    if (XResQueryClientIds(display, 1, &query, &idCount, &ids) != Success) return -1;
    pid_t pid = -1;
    for (long i = 0; i < idCount && pid < 0; ++i) {
      if (XResGetClientIdType(&ids[i]) == XRES_CLIENT_ID_PID) pid = XResGetClientPid(&ids[i]);
    }
    XResClientIdsDestroy(idCount, ids);
    return pid;
  }

  Display* display;
  Window root = 0;
  Atom clientList = None;
  Atom wmPid = None;
  bool hasResourceIds = false;
};

X11WindowLocator::X11WindowLocator(std::string displayName, std::string procRoot)
    : displayName_(std::move(displayName)), procRoot_(std::move(procRoot)) {}

X11WindowLocator::~X11WindowLocator() = default;

X11WindowLocator::Connection* X11WindowLocator::connection() {
  if (!connection_) {
    Display* display = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (display != nullptr) connection_ = std::make_unique<Connection>(display);
  }
  return connection_.get();
}

WindowHandle X11WindowLocator::findClientWindow(std::uint16_t linkPort, WindowHandle current) {
  const pid_t client = findClientProcess(linkPort, procRoot_);
  if (client <= 0) return current;
  const WindowHandle window = largestWindowOf(client);
  return window != 0 ? window : current;
}

WindowHandle X11WindowLocator::largestWindowOf(pid_t pid) {
  Connection* x = connection();
  if (x == nullptr || pid <= 0) return 0;
  ErrorTrap trap(x->display);
  const auto largestAmong = [&](const std::vector<Window>& windows) {
    WindowHandle largest = 0;
    long long largestArea = -1;
    for (Window window : windows) {
      trap.forget();  // a window that vanished before is no concern of this one
      if (x->processOf(window) != pid) continue;
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(x->display, window, &attributes) == 0 || trap.failed()) continue;
      if (attributes.map_state != IsViewable) continue;
      const long long area = static_cast<long long>(attributes.width) * attributes.height;
      if (area > largestArea) {
        largest = window;
        largestArea = area;
      }
    }
    return largest;
  };
  const WindowHandle managed = largestAmong(x->managedWindows());
  // Windows no manager lists: with no manager running, or the client's own
  // unmanaged (override-redirect) windows.
  return managed != 0 ? managed : largestAmong(x->rootChildren());
}

bool X11WindowLocator::windowRect(WindowHandle window, ScreenRect& rect) {
  Connection* x = connection();
  if (x == nullptr || window == 0) return false;
  ErrorTrap trap(x->display);
  XWindowAttributes attributes{};
  int left = 0;
  int top = 0;
  Window child = 0;
  const Window id = static_cast<Window>(window);
  if (XGetWindowAttributes(x->display, id, &attributes) == 0 ||
      XTranslateCoordinates(x->display, id, x->root, 0, 0, &left, &top, &child) == 0 || trap.failed()) {
    return false;
  }
  rect = ScreenRect{left, top, left + attributes.width, top + attributes.height};
  return true;
}

}  // namespace tessary
