#include "platform/windows/key_client_process.h"

#include <ws2tcpip.h>

#include <cstdlib>
#include <cstdio>
#include <string>

namespace tessary::testing {
namespace {

constexpr DWORD kWaitMilliseconds = 20000;

std::string clientPath() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + "win32_key_client.exe";
}

bool waitReadable(SOCKET socket) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval timeout{static_cast<long>(kWaitMilliseconds / 1000), 0};
  return select(0, &readable, nullptr, nullptr, &timeout) == 1;
}

}  // namespace

KeyClientProcess::KeyClientProcess(const char* layout) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(listener_, 4) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);

  std::string commandLine = "\"" + clientPath() + "\" " + std::to_string(port_) + " " + layout;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_)) {
    std::fprintf(stderr, "cannot start %s (%lu)\n", commandLine.c_str(), GetLastError());
    return;
  }
  if (!waitReadable(listener_)) return;
  link_ = accept(listener_, nullptr, nullptr);
  std::string line;
  if (link_ == INVALID_SOCKET || !readLine(line) || line.rfind("ready ", 0) != 0) return;
  watched_ = std::strtoull(line.c_str() + 6, nullptr, 10);
}

KeyClientProcess::~KeyClientProcess() {
  if (link_ != INVALID_SOCKET) {
    send(link_, "quit\n", 5, 0);
    closesocket(link_);
  }
  if (process_.hProcess != nullptr) {
    if (WaitForSingleObject(process_.hProcess, kWaitMilliseconds) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  WSACleanup();
}

bool KeyClientProcess::command(const std::string& line) {
  const std::string text = line + "\n";
  if (send(link_, text.data(), static_cast<int>(text.size()), 0) != static_cast<int>(text.size())) return false;
  std::string answer;
  return readLine(answer) && answer == "ok";
}

bool KeyClientProcess::readLine(std::string& line) {
  for (;;) {
    const std::size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return true;
    }
    if (!waitReadable(link_)) return false;
    char buffer[128];
    const int received = recv(link_, buffer, sizeof buffer, 0);
    if (received <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(received));
  }
}

std::uint32_t screenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return static_cast<std::uint32_t>(GetRValue(colour)) << 16 | static_cast<std::uint32_t>(GetGValue(colour)) << 8 |
         GetBValue(colour);
}

bool saveScreenshot(const std::string& path) {
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY | CAPTUREBLT) != 0;
  GdiFlush();
  const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageBytes;
  info.bmiHeader.biSizeImage = imageBytes;
  bool written = false;
  if (copied) {
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
      written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                std::fwrite(bits, imageBytes, 1, out) == 1;
      written = std::fclose(out) == 0 && written;
    }
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return written;
}

bool closeTo(std::uint32_t a, std::uint32_t b, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance) {
      return false;
    }
  }
  return true;
}

}  // namespace tessary::testing
