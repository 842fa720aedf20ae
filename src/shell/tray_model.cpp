#include "shell/tray_model.h"

namespace tessary {

std::string_view trayTipText(bool loggedIn) { return loggedIn ? kTipLoggedIn : kTipNotLoggedIn; }

const std::vector<TrayMenuItem>& trayMenuItems() {
  static const std::vector<TrayMenuItem> items = {
      {TrayItemKind::kCommand, "Enter New &Code", kCommandEnterCode},
      {TrayItemKind::kSeparator, "", 0},
      {TrayItemKind::kCameraSubmenu, "Ca&mera", 0},
      {TrayItemKind::kCommand, "&Mirror", kCommandMirror},
      {TrayItemKind::kCommand, "&Flip", kCommandFlip},
      {TrayItemKind::kSeparator, "", 0},
      {TrayItemKind::kWebSubmenu, "&WWW", 0},
      {TrayItemKind::kCommand, "&About", kCommandAbout},
      {TrayItemKind::kCommand, "&Help", kCommandHelp},
      {TrayItemKind::kSeparator, "", 0},
      {TrayItemKind::kCommand, "E&xit", kCommandExit},
  };
  return items;
}

CameraMenu::CameraMenu() { entries_.push_back({"tmp", kCommandCameraPlaceholder, false}); }

void CameraMenu::fillOnce(TrayController& controller) {
  if (filled_) return;
  filled_ = true;
  entries_.clear();
  for (int index = 0; index < kMaxMenuCameras; ++index) {
    const char* name = controller.cameraName(index);
    if (name == nullptr) break;
    entries_.push_back({name, kCameraCommandBase + index, false});
    names_.emplace_back(name);
  }
  if (entries_.empty()) entries_.push_back({std::string(kNoCameraText), kCameraCommandBase, false});
}

void CameraMenu::updateChecks(TrayController& controller) {
  if (controller.cameraName(0) == nullptr) return;
  int current = controller.currentCameraIndex();
  for (std::size_t position = 0; position < entries_.size(); ++position) {
    entries_[position].checked = static_cast<int>(position) == current;
    if (position < names_.size()) {
      const bool absent = controller.cameraAbsent(static_cast<int>(position));
      entries_[position].text = names_[position] + (absent ? std::string(kAbsentCameraSuffix) : std::string());
    }
  }
}

TrayAction runTrayCommand(int command, TrayController& controller) {
  switch (command) {
    case kCommandEnterCode: return TrayAction::kEnterCode;
    case kCommandMirror: controller.toggleMirror(); return TrayAction::kNone;
    case kCommandFlip: controller.toggleFlip(); return TrayAction::kNone;
    case kCommandOpenReadme: return TrayAction::kOpenReadme;
    case kCommandOpenProtocol: return TrayAction::kOpenProtocol;
    case kCommandAbout: return TrayAction::kAbout;
    case kCommandHelp: return TrayAction::kHelp;
    case kCommandExit: return TrayAction::kExit;
    default: break;
  }
  int index = command - kCameraCommandBase;
  if (index < 0 || index >= kMaxMenuCameras) return TrayAction::kNone;
  // The first entry doubles as "<No camera detected>", which must do nothing.
  if (index == 0 && controller.cameraName(0) == nullptr) return TrayAction::kNone;
  controller.selectCamera(index);
  return TrayAction::kNone;
}

}  // namespace tessary
