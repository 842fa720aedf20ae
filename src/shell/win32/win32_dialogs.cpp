#include "shell/win32/win32_dialogs.h"

#include <richedit.h>

#include "platform/windows/wide_text.h"
#include "shell/code_file.h"
#include "shell/dialog_geometry.h"
#include "shell/help_text.h"
#include "shell/win32/resource_ids.h"

#ifndef TESSARY_VERSION
#define TESSARY_VERSION "unknown"
#endif

namespace tessary {

// One modal dialog's run: the dialog procedure gets this as its start
// parameter, records its window in `open` and takes `data` as its own.
class DialogRun {
 public:
  DialogRun(OpenDialog& open, LPARAM data) : open_(open), data_(data) {}
  ~DialogRun() { open_.window_ = nullptr; }
  DialogRun(const DialogRun&) = delete;
  DialogRun& operator=(const DialogRun&) = delete;

  LPARAM parameter() { return reinterpret_cast<LPARAM>(this); }
  // In WM_INITDIALOG: the dialog is open; returns the caller's data.
  static LPARAM started(HWND dialog, LPARAM parameter) {
    auto* run = reinterpret_cast<DialogRun*>(parameter);
    run->open_.window_ = dialog;
    return run->data_;
  }

 private:
  OpenDialog& open_;
  LPARAM data_;
};

void OpenDialog::bringToFront() const {
  if (window_ == nullptr) return;
  // The code dialog's "Error" box, when it shows one, is what wants an answer.
  HWND front = ::GetLastActivePopup(window_);
  if (front == nullptr || !::IsWindowVisible(front)) front = window_;
  ::ShowWindow(front, SW_SHOWNORMAL);
  ::SetWindowPos(front, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ::SetForegroundWindow(front);
}

namespace {

constexpr int kMaxCodeLength = 255;

void centre(HWND dialog) {
  RECT own{};
  RECT desktop{};
  ::GetWindowRect(dialog, &own);
  ::GetWindowRect(::GetDesktopWindow(), &desktop);
  std::optional<ScreenBox> workArea;
  if (RECT work{}; ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    workArea = ScreenBox{work.left, work.top, work.right - work.left, work.bottom - work.top};
  }
  const ScreenPoint at = centredDialogPosition(
      own.right - own.left, own.bottom - own.top,
      ScreenBox{desktop.left, desktop.top, desktop.right - desktop.left, desktop.bottom - desktop.top}, workArea);
  ::SetWindowPos(dialog, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Enter New Code ---------------------------------------------------------

INT_PTR CALLBACK codeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrA(dialog, DWLP_USER, DialogRun::started(dialog, lParam));
      ::SendDlgItemMessageW(dialog, IDC_CODE_EDIT, EM_LIMITTEXT, kMaxCodeLength, 0);
      centre(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        const auto& options = *reinterpret_cast<const CodeDialogOptions*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        wchar_t text[kMaxCodeLength + 1] = {};
        const int length = ::GetDlgItemTextW(dialog, IDC_CODE_EDIT, text, kMaxCodeLength + 1);
        const std::string code = utf8FromWide(std::wstring_view(text, static_cast<std::size_t>(length)));
        if (!writeCodeFile(options.codeFilePath, code, options.createParent)) {
          // The dialog stays open: the user may retry or cancel.
          const std::wstring error = wideFromUtf8(codeFileErrorText(options.codeFilePath));
          ::MessageBoxW(::GetParent(dialog), error.c_str(), L"Error", MB_OK | MB_ICONERROR);
          return TRUE;
        }
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// --- Help -------------------------------------------------------------------

// RichEdit keeps paragraphs apart with a carriage return.
std::string richEditText(std::string_view text) {
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

bool isScrollKey(WPARAM key) { return key == VK_UP || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT; }

INT_PTR CALLBACK helpDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      lParam = DialogRun::started(dialog, lParam);
      centre(dialog);
      HWND text = ::GetDlgItem(dialog, IDC_HELP_TEXT);
      if (text != nullptr) {
        // The help text lines its columns up with blanks.
        if (lParam != 0) ::SendMessageA(text, WM_SETFONT, static_cast<WPARAM>(lParam), FALSE);
        ::SetWindowTextA(text, richEditText(helpText()).c_str());
        RECT client{};
        ::GetClientRect(text, &client);
        ::SendMessageA(text, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&client));
        ::SendMessageA(text, EM_SETEVENTMASK, 0, ENM_KEYEVENTS | ENM_SELCHANGE);
      }
      // The OK button has the focus, not the text.
      ::SetFocus(::GetDlgItem(dialog, IDOK));
      return FALSE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->idFrom == IDC_HELP_TEXT && header->code == EN_MSGFILTER) {
        const auto* filter = reinterpret_cast<const MSGFILTER*>(lParam);
        // The text scrolls with the arrow and page keys; every other key is
        // swallowed, so it can be neither changed nor selected by keyboard.
        const bool key = filter->msg == WM_KEYDOWN || filter->msg == WM_CHAR || filter->msg == WM_KEYUP;
        const bool swallow = key && !(filter->msg == WM_KEYDOWN && isScrollKey(filter->wParam)) &&
                             !(filter->msg == WM_KEYUP && isScrollKey(filter->wParam));
        ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, swallow ? 1 : 0);
        return TRUE;
      }
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

// --- About ------------------------------------------------------------------

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      DialogRun::started(dialog, lParam);
      ::SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, "Tessary " TESSARY_VERSION);
      centre(dialog);
      return TRUE;
    // A click anywhere, Enter or Esc closes it.
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      ::EndDialog(dialog, IDOK);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

bool runCodeDialog(HINSTANCE instance, HWND owner, const CodeDialogOptions& options, OpenDialog& open) {
  if (open.open()) {
    open.bringToFront();
    return false;
  }
  DialogRun run(open, reinterpret_cast<LPARAM>(&options));
  return ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ENTER_CODE), owner, codeDialogProc, run.parameter()) ==
         IDOK;
}

void runHelpDialog(HINSTANCE instance, HWND owner, OpenDialog& open) {
  if (open.open()) return open.bringToFront();
  // A fixed-pitch font of 9 points, for the dialog's life.
  HDC screen = ::GetDC(nullptr);
  const int height = -::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  HFONT font = ::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
  {
    DialogRun run(open, reinterpret_cast<LPARAM>(font));
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_HELP), owner, helpDialogProc, run.parameter());
  }
  if (font != nullptr) ::DeleteObject(font);
}

void runAboutDialog(HINSTANCE instance, HWND owner, OpenDialog& open) {
  if (open.open()) return open.bringToFront();
  DialogRun run(open, 0);
  ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, aboutDialogProc, run.parameter());
}

}  // namespace tessary
