// tessary.exe: a GUI program (no console window of its own). Started from a
// console it writes its messages there; started with redirected output (a
// test, a service wrapper) it writes to those handles.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows/wide_text.h"
#include "shell/win32/windows_program.h"

namespace {

bool hasHandle(DWORD which) {
  HANDLE handle = ::GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// A GUI program has no standard handles unless its starter redirected them;
// from a console, borrow the parent's so --help and errors can be read.
void connectConsole() {
  if (hasHandle(STD_OUTPUT_HANDLE) || hasHandle(STD_ERROR_HANDLE)) return;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
  FILE* ignored = nullptr;
  freopen_s(&ignored, "CONOUT$", "w", stdout);
  freopen_s(&ignored, "CONOUT$", "w", stderr);
}

// The command line as UTF-8, whatever the ANSI code page.
std::vector<std::string> utf8Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(tessary::utf8FromWide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  connectConsole();
  std::vector<std::string> arguments = utf8Arguments();
  std::vector<std::string_view> args(arguments.begin(), arguments.end());
  tessary::WindowsPlatform platform(instance);
  const int exitCode = tessary::runProgram(args, platform);
  std::fflush(stdout);
  std::fflush(stderr);
  return exitCode;
}
