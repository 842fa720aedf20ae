// tessary.exe started by a Windows test program on the test's display, its
// standard output and error in one file, ended with --quit as a user would
// from a console.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/temp_folder.h"
#include "support/wait_until.h"

namespace tessary::testing {

// A path of this build (a Unix path) as the Windows side names it.
inline std::string windowsPath(std::string path) {
  if (path.empty() || path[0] != '/') return path;
  std::string windows = "Z:";
  for (char c : path) windows += c == '/' ? '\\' : c;
  return windows;
}

inline std::string fullPath(const std::string& name) {
  char path[MAX_PATH] = {};
  const DWORD length = GetFullPathNameA(name.c_str(), MAX_PATH, path, nullptr);
  return std::string(path, length);
}

// tessary.exe with its standard output and error in one file.
class ProgramProcess {
 public:
  ProgramProcess() = default;
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  ~ProgramProcess() { close(); }

  bool start(const std::string& arguments, const std::string& outputPath) {
    close();
    outputPath_ = outputPath;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return false;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::string commandLine = programCommand(arguments);
    const bool started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process_) != 0;
    CloseHandle(output);
    return started;
  }

  std::string output() const { return readFile(outputPath_); }

  // The port from "... listening on port N", 0 when it does not come.
  std::uint16_t waitForPort() const {
    constexpr std::string_view kListening = " listening on port ";
    std::uint16_t port = 0;
    waitUntil([&] {
      const std::string text = output();
      const std::size_t at = text.find(kListening);
      if (at == std::string::npos) return false;
      port = static_cast<std::uint16_t>(std::atoi(text.c_str() + at + kListening.size()));
      return true;
    }, std::chrono::seconds(60), std::chrono::milliseconds(50));
    return port;
  }

  // Ends the program as a user would from a console (--quit); its exit code,
  // or -1 when it did not end.
  int quit() {
    PROCESS_INFORMATION quitter{};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string commandLine = programCommand("--quit");
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &quitter)) {
      WaitForSingleObject(quitter.hProcess, 20000);
      CloseHandle(quitter.hProcess);
      CloseHandle(quitter.hThread);
    }
    if (WaitForSingleObject(process_.hProcess, 20000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<int>(code);
  }

 private:
  static std::string programCommand(const std::string& arguments) {
    std::string line = "\"";
    line += windowsPath(TESSARY_PROGRAM);
    line += "\" ";
    line += arguments;
    return line;
  }

  // Ends a copy still running and forgets it.
  void close() {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = {};
  }

  std::string outputPath_;
  PROCESS_INFORMATION process_{};
};

}  // namespace tessary::testing
