// A small client program for the window and overlay tests: it connects to
// the test's port on 127.0.0.1, opens a grey borderless window at screen
// (50, 50)-(650, 450) and reports the window to watch. Layouts:
//   panel  the display area is the child of a "TPanel" window: the panel fills
//          the frame, the viewer sits at screen (110, 110)-(410, 350) and
//          shows the key colour in (150, 150)-(310, 270); the panel shows it
//          too in (500, 350)-(600, 410);
//   plain  no window of a known class: the frame alone, which shows the key
//          colour in (150, 150)-(310, 270).
// Then it takes lines from the test, answering each with "ok":
//   key RRGGBB   paint the key areas in this colour (hex);
//   move X Y     move the frame's top-left corner to screen (X, Y);
//   link PORT    connect to a server on 127.0.0.1:PORT as its client (for
//                tests of the built program, whose window search must find
//                this process at the other end of the link);
//   say TEXT     send TEXT over that link as one message;
//   wait MS TEXT read the link until a message equal to TEXT arrives,
//                answering "missing" after MS milliseconds without one;
//   clicks N     whether the windows have had N left clicks so far
//                (else the answer is the count);
//   quit         close the windows and end.
// Any other answer than "ok" is a failure. Closing the connection ends it too.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_client.h"

namespace {

constexpr UINT kKeyMessage = WM_APP + 1;
constexpr UINT kMoveMessage = WM_APP + 2;
constexpr COLORREF kGrey = RGB(0x80, 0x80, 0x80);

COLORREF keyColour = RGB(255, 0, 255);
SOCKET link = INVALID_SOCKET;
HWND frame = nullptr;
// Counted on the window thread, read on the command thread.
std::atomic<int> clicks{0};

void reply(const std::string& text) {
  const std::string line = text + "\n";
  send(link, line.data(), static_cast<int>(line.size()), 0);
}

// The key rectangles of each window, in its client coordinates.
struct KeyAreas {
  RECT areas[2];
  int count;
};

void paintWindow(HWND window, HDC dc) {
  RECT client{};
  GetClientRect(window, &client);
  HBRUSH grey = CreateSolidBrush(kGrey);
  FillRect(dc, &client, grey);
  DeleteObject(grey);
  const auto* keys = reinterpret_cast<const KeyAreas*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (keys == nullptr) return;
  HBRUSH key = CreateSolidBrush(keyColour);
  for (int i = 0; i < keys->count; ++i) FillRect(dc, &keys->areas[i], key);
  DeleteObject(key);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      paintWindow(window, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      paintWindow(window, reinterpret_cast<HDC>(wParam));
      return 0;
    case kKeyMessage:
      keyColour = static_cast<COLORREF>(wParam);
      RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      GdiFlush();
      reply("ok");
      return 0;
    case WM_LBUTTONDOWN:
      ++clicks;
      return 0;
    case kMoveMessage:
      SetWindowPos(frame, nullptr, static_cast<int>(wParam), static_cast<int>(lParam), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      UpdateWindow(frame);
      GdiFlush();
      reply("ok");
      return 0;
    case WM_DESTROY:
      if (window == frame) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

DWORD WINAPI readCommands(void*) {
  tessary::testing::TestClient server;  // the link to the server under test
  std::string pending;
  char buffer[256];
  for (;;) {
    const int received = recv(link, buffer, sizeof buffer, 0);
    if (received <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(received));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      unsigned colour = 0;
      int x = 0, y = 0, port = 0, milliseconds = 0, textAt = 0;
      if (std::sscanf(line.c_str(), "link %d", &port) == 1) {
        reply(server.connect(port) ? "ok" : "failed");
      } else if (line.rfind("say ", 0) == 0) {
        reply(server.send(line.substr(4)) ? "ok" : "failed");
      } else if (std::sscanf(line.c_str(), "wait %d %n", &milliseconds, &textAt) == 1 && textAt > 0) {
        reply(server.waitFor(line.substr(static_cast<std::size_t>(textAt)), std::chrono::milliseconds(milliseconds))
                  ? "ok"
                  : "missing");
      } else if (std::sscanf(line.c_str(), "clicks %d", &x) == 1) {
        reply(clicks == x ? "ok" : "clicks " + std::to_string(clicks));
      } else if (std::sscanf(line.c_str(), "key %x", &colour) == 1) {
        PostMessageA(frame, kKeyMessage, RGB(colour >> 16, (colour >> 8) & 0xFF, colour & 0xFF), 0);
      } else if (std::sscanf(line.c_str(), "move %d %d", &x, &y) == 2) {
        PostMessageA(frame, kMoveMessage, static_cast<WPARAM>(x), static_cast<LPARAM>(y));
      } else if (line == "quit") {
        break;
      }
    }
  }
  server.close();
  PostMessageA(frame, WM_CLOSE, 0, 0);
  return 0;
}

HWND makeWindow(const char* className, HWND parent, RECT area, KeyAreas* keys) {
  const DWORD style = parent == nullptr ? WS_POPUP | WS_VISIBLE : WS_CHILD | WS_VISIBLE;
  HWND window = CreateWindowExA(0, className, className, style, area.left, area.top, area.right - area.left,
                                area.bottom - area.top, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(keys));
  return window;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: win32_key_client PORT panel|plain\n");
    return 2;
  }
  const bool panel = std::strcmp(argv[2], "panel") == 0;
  // Its windows sit at physical pixels whatever the system's scale.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  link = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(link, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;

  for (const char* name : {"Frame", "TPanel", "Viewer"}) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&windowClass);
  }
  static KeyAreas frameKeys{{{100, 100, 260, 220}}, 1};
  static KeyAreas panelKeys{{{450, 300, 550, 360}}, 1};
  static KeyAreas viewerKeys{{{40, 40, 200, 160}}, 1};
  frame = makeWindow("Frame", nullptr, RECT{50, 50, 650, 450}, panel ? nullptr : &frameKeys);
  HWND watched = frame;
  if (panel) {
    HWND panelWindow = makeWindow("TPanel", frame, RECT{0, 0, 600, 400}, &panelKeys);
    watched = makeWindow("Viewer", panelWindow, RECT{60, 60, 360, 300}, &viewerKeys);
  }
  SetWindowPos(frame, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  UpdateWindow(frame);
  GdiFlush();
  reply("ready " + std::to_string(reinterpret_cast<std::uintptr_t>(watched)));

  HANDLE reader = CreateThread(nullptr, 0, &readCommands, nullptr, 0, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  closesocket(link);
  WaitForSingleObject(reader, 5000);
  WSACleanup();
  return 0;
}
