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

// Returns true when a new code was written.
bool runCodeDialog(HINSTANCE instance, HWND owner, const CodeDialogOptions& options);
void runHelpDialog(HINSTANCE instance, HWND owner);
void runAboutDialog(HINSTANCE instance, HWND owner);

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
