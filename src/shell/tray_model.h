// The tray icon's tip, the tray menu and what its commands do, without Qt.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Menu command numbers; the camera entries are kCameraCommandBase + index.
inline constexpr int kCommandEnterCode = 32773;
inline constexpr int kCommandMirror = 32798;
inline constexpr int kCommandFlip = 32799;
inline constexpr int kCommandOpenReadme = 32812;
inline constexpr int kCommandOpenProtocol = 32813;
inline constexpr int kCommandAbout = 32775;
inline constexpr int kCommandHelp = 32772;
inline constexpr int kCommandExit = 32774;
inline constexpr int kCommandCameraPlaceholder = 32787;
inline constexpr int kCameraCommandBase = 33000;
inline constexpr int kMaxMenuCameras = 4;  // the controller has four camera slots

inline constexpr std::string_view kTipLoggedIn = "Orrinview - Logged in";
inline constexpr std::string_view kTipNotLoggedIn = "Orrinview - Not logged in";
inline constexpr std::string_view kNoCameraText = "<No camera detected>";
inline constexpr std::string_view kAbsentCameraSuffix = " (absent)";

std::string_view trayTipText(bool loggedIn);

// What the tray menu needs from the zone server.
class TrayController {
 public:
  virtual const char* cameraName(int index) = 0;  // null past the last camera
  virtual int currentCameraIndex() = 0;
  // True while the camera is lost and being tried again.
  virtual bool cameraAbsent(int /*index*/) { return false; }
  virtual void selectCamera(int index) = 0;
  virtual bool mirrored() = 0;
  virtual bool flipped() = 0;
  virtual void toggleMirror() = 0;
  virtual void toggleFlip() = 0;

 protected:
  ~TrayController() = default;
};

enum class TrayItemKind { kCommand, kSeparator, kCameraSubmenu, kWebSubmenu };

struct TrayMenuItem {
  TrayItemKind kind;
  std::string_view text;  // with its & mnemonic
  int command = 0;        // for kCommand
};

// The "Tray" popup, top to bottom.
const std::vector<TrayMenuItem>& trayMenuItems();

struct CameraMenuEntry {
  std::string text;
  int command = 0;
  bool checked = false;
};

// The Camera submenu: a placeholder until the menu first opens, then the
// cameras of that moment for the rest of the run.
class CameraMenu {
 public:
  CameraMenu();

  // Fills the entries the first time; later calls change nothing.
  void fillOnce(TrayController& controller);
  // Checks the camera in use (with no camera nothing is checked) and marks
  // the cameras that are lost.
  void updateChecks(TrayController& controller);

  bool filled() const { return filled_; }
  const std::vector<CameraMenuEntry>& entries() const { return entries_; }

 private:
  std::vector<CameraMenuEntry> entries_;
  std::vector<std::string> names_;  // the cameras' own names, entry by entry
  bool filled_ = false;
};

// What the host must do after a menu command; the zone-server commands are
// carried out by runTrayCommand itself.
enum class TrayAction { kNone, kEnterCode, kAbout, kHelp, kExit, kOpenReadme, kOpenProtocol };

TrayAction runTrayCommand(int command, TrayController& controller);

}  // namespace tessary
