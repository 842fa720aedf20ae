// The three dialogs of the tray menu on Win32, from the resource script:
// "Enter New Code" (130), "Help" (133, a RichEdit 2.0 control) and "About"
// (139). Each runs modally; the main window's timers keep running through
// the dialog's own message loop.
#pragma once

#include <windows.h>

#include <string>

namespace tessary {

struct CodeDialogOptions {
  std::string codeFilePath;    // UTF-8
  bool createParent = false;   // the default file's folder may not exist yet
};

// The one dialog open from the tray menu, if any: a second choice from the
// menu brings it to the front instead of stacking another on top of it (the
// hidden main window still takes the tray's messages while a dialog runs).
class OpenDialog {
 public:
  bool open() const { return window_ != nullptr; }
  // Brings the open dialog, or the message box it shows, to the front.
  void bringToFront() const;

 private:
  friend class DialogRun;
  HWND window_ = nullptr;
};

// Returns true when a new code was written. Each runs only when `open` holds
// no dialog; otherwise it brings that one to the front and returns false.
bool runCodeDialog(HINSTANCE instance, HWND owner, const CodeDialogOptions& options, OpenDialog& open);
void runHelpDialog(HINSTANCE instance, HWND owner, OpenDialog& open);
void runAboutDialog(HINSTANCE instance, HWND owner, OpenDialog& open);

// The RichEdit 2.0 library the Help dialog needs, loaded for the program's
// life.
class RichEditLibrary {
 public:
  RichEditLibrary() : module_(::LoadLibraryA("riched20.dll")) {}
  ~RichEditLibrary() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  RichEditLibrary(const RichEditLibrary&) = delete;
  RichEditLibrary& operator=(const RichEditLibrary&) = delete;
  bool loaded() const { return module_ != nullptr; }

 private:
  HMODULE module_;
};

}  // namespace tessary
