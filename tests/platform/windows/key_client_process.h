// The test's side of win32_key_client: a listening socket on 127.0.0.1, the
// client program started against it, and its commands.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace tessary::testing {

class KeyClientProcess {
 public:
  // Starts the client in `layout` ("panel" or "plain") and waits until its
  // windows are painted; ok() tells whether that worked.
  explicit KeyClientProcess(const char* layout);
  ~KeyClientProcess();
  KeyClientProcess(const KeyClientProcess&) = delete;
  KeyClientProcess& operator=(const KeyClientProcess&) = delete;

  bool ok() const { return watched_ != 0; }
  std::uint16_t port() const { return port_; }
  // The window the client says should be watched.
  std::uint64_t watched() const { return watched_; }
  DWORD processId() const { return process_.dwProcessId; }

  // Sends one command line and waits for its "ok".
  bool command(const std::string& line);

 private:
  bool readLine(std::string& line);

  SOCKET listener_ = INVALID_SOCKET;
  SOCKET link_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  PROCESS_INFORMATION process_{};
  std::uint64_t watched_ = 0;
  std::string pending_;
};

// The colour of the screen at (x, y) as 0xRRGGBB, as the user sees it.
std::uint32_t screenPixel(int x, int y);

// Writes the whole screen as a 24-bit BMP file; false when it cannot.
bool saveScreenshot(const std::string& path);

// Whether the colours differ by at most `tolerance` in each channel.
bool closeTo(std::uint32_t a, std::uint32_t b, int tolerance = 12);

}  // namespace tessary::testing
