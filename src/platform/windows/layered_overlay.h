// The overlay on Windows without a hardware overlay: a topmost, layered,
// click-through window over the render area that shows the picture stretched
// over it, cut to the pixels where the screen beneath shows the overlay
// colour.
//
// What lies beneath is read from the screen. Where the system leaves our
// window out of screen reads (capture exclusion, or layered windows left out
// of plain screen copies), every read is exact. Where it does not (Wine), the
// window hides briefly whenever the key or the area changes and every few
// seconds, so the screen can be read without it; between those reads the
// pixels under the picture are taken to still show the key, and only new key
// pixels around it are picked up.
//
// Threads: the operations belong to the thread that calls overlayInit (the
// main thread), which owns the window and paints the picture. Screen reads
// run on a reader thread owned by the overlay, which hands back key shapes
// under its own lock and is stopped by overlayShutdown.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/member_callback.h"
#include "display/display_state.h"
#include "display/picture_source.h"

namespace tessary {

// How the live picture reaches the screen.
enum class OverlayPresentation {
  kNone,                     // not set up, or set-up failed
  kExcludedScreenReads,      // software overlay; our window is left out of screen reads
  kScreenReadsBetweenHides,  // software overlay; the screen is read while the overlay hides
};

// One sentence for the trace and the user.
std::string_view describePresentation(OverlayPresentation presentation);

// What the display driver offers for a hardware video overlay stretched over
// a screen `screenWidth` pixels wide: 0 when everything is there, otherwise
// -1 (no DirectDraw or no capabilities), -2 (no overlay), -3 (no overlay
// stretching), -4 / -5 (the stretch lies below / above what the driver can
// do), -6 / -7 (size alignment that the screen or picture width misses), -8
// (no destination colour key).
int probeOverlaySurfaces(int screenWidth);

class LayeredOverlay final : public OverlayControl {
 public:
  // `state` and `pictures` must outlive the overlay. `reportError` shows a
  // start-up failure to the user; `notePresentation`, when set, hears once
  // per start-up which presentation is in use (describePresentation).
  LayeredOverlay(const DisplayState& state, const PictureSource& pictures,
                 MemberCallback<std::string_view> reportError,
                 MemberCallback<std::string_view> notePresentation = {});
  ~LayeredOverlay();
  LayeredOverlay(const LayeredOverlay&) = delete;
  LayeredOverlay& operator=(const LayeredOverlay&) = delete;

  int overlayInit() override;
  int overlayUpdatePosition() override;
  int overlayPresent() override;
  void overlayShutdown() override;

  OverlayPresentation presentation() const;
  // The hardware probe's result at the last overlayInit.
  int hardwareProbe() const { return hardwareProbe_; }
  // The overlay window, 0 while there is none.
  std::uintptr_t windowHandle() const;

  // Defined in the implementation; named here for its window procedure.
  struct Window;

 private:
  const DisplayState& state_;
  const PictureSource& pictures_;
  MemberCallback<std::string_view> reportError_;
  MemberCallback<std::string_view> notePresentation_;
  int hardwareProbe_ = 0;
  std::unique_ptr<Window> window_;
};

}  // namespace tessary
