#include "platform/windows/tcp_table_window_locator.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

namespace tessary {
namespace {

// The table's ports sit in network byte order in the low 16 bits.
std::uint16_t tablePort(DWORD port) { return ntohs(static_cast<u_short>(port & 0xFFFF)); }

// The owner-annotated table of one address family, in one buffer; the table
// may grow between asking for its size and reading it, so this asks again.
std::vector<std::uint8_t> readTable(ULONG family) {
  std::vector<std::uint8_t> buffer;
  DWORD size = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD status =
        GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, TRUE, family,
                            TCP_TABLE_OWNER_PID_ALL, 0);
    if (status == NO_ERROR) return buffer;
    if (status != ERROR_INSUFFICIENT_BUFFER) return {};
    buffer.assign(size, 0);
  }
  return {};
}

template <typename Table>
void appendRows(std::span<const std::uint8_t> buffer, std::vector<ConnectionRow>& rows) {
  if (buffer.size() < offsetof(Table, table)) return;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  // The count is the system's; never read past what it handed over.
  const std::size_t fits = (buffer.size() - offsetof(Table, table)) / sizeof(table->table[0]);
  const std::size_t count = std::min<std::size_t>(table->dwNumEntries, fits);
  for (std::size_t i = 0; i < count; ++i) {
    const auto& row = table->table[i];
    rows.push_back(ConnectionRow{row.dwState == MIB_TCP_STATE_ESTAB, tablePort(row.dwLocalPort),
                                 tablePort(row.dwRemotePort), row.dwOwningPid});
  }
}

HWND toHwnd(WindowHandle window) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window)); }
WindowHandle toHandle(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }

std::uint64_t processOf(HWND window) {
  DWORD process = 0;
  if (GetWindowThreadProcessId(window, &process) == 0) return 0;
  return process;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(toHandle(window));
  return TRUE;
}

// The windows as the system enumerates them: top-level windows in Z order,
// descendants depth first.
class Win32WindowTree final : public WindowTree {
 public:
  std::vector<WindowHandle> topLevelWindows() override {
    std::vector<WindowHandle> windows;
    EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
  }
  std::uint64_t owningProcess(WindowHandle window) override { return processOf(toHwnd(window)); }
  std::vector<WindowHandle> descendants(WindowHandle window) override {
    std::vector<WindowHandle> windows;
    EnumChildWindows(toHwnd(window), &collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
  }
  std::string parentClassName(WindowHandle window) override {
    const HWND parent = GetParent(toHwnd(window));
    if (parent == nullptr) return {};
    std::array<char, 256> name{};
    const int length = GetClassNameA(parent, name.data(), static_cast<int>(name.size()));
    return length > 0 ? std::string(name.data(), static_cast<std::size_t>(length)) : std::string();
  }
};

}  // namespace

std::vector<ConnectionRow> tcpTableRows(std::span<const std::uint8_t> table, int family) {
  std::vector<ConnectionRow> rows;
  if (family == AF_INET) appendRows<MIB_TCPTABLE_OWNER_PID>(table, rows);
  if (family == AF_INET6) appendRows<MIB_TCP6TABLE_OWNER_PID>(table, rows);
  return rows;
}

std::vector<ConnectionRow> readTcpConnections() {
  std::vector<ConnectionRow> rows = tcpTableRows(readTable(AF_INET), AF_INET);
  const std::vector<ConnectionRow> rows6 = tcpTableRows(readTable(AF_INET6), AF_INET6);
  rows.insert(rows.end(), rows6.begin(), rows6.end());
  return rows;
}

std::uint64_t findClientProcess(std::uint16_t linkPort) {
  std::vector<ConnectionRow> rows = readTcpConnections();
  // The server ends on the link's port are ours: only our process listens
  // there. Wine leaves their owner blank (it cannot name the first process of
  // a prefix), which would make every client look not yet accepted.
  for (ConnectionRow& row : rows) {
    if (row.established && row.localPort == linkPort && row.owner == 0) row.owner = GetCurrentProcessId();
  }
  const std::vector<ConnectionRow> clients = acceptedClientRows(rows, linkPort);
  const int index = findClientRow(clients, linkPort);
  return index < 0 ? 0 : clients[static_cast<std::size_t>(index)].owner;
}

WindowHandle TcpTableWindowLocator::findClientWindow(std::uint16_t linkPort, WindowHandle current) {
  const std::uint64_t client = findClientProcess(linkPort);
  return client == 0 ? current : findWindowOf(client, current);
}

WindowHandle TcpTableWindowLocator::findWindowOf(std::uint64_t process, WindowHandle current) {
  Win32WindowTree tree;
  const WindowHandle found = searchClientWindow(tree, process, current);
  if (found != 0) return found;
  return largestWindowOf(process);
}

WindowHandle TcpTableWindowLocator::largestWindowOf(std::uint64_t process) {
  Win32WindowTree tree;
  WindowHandle largest = 0;
  long long largestArea = -1;
  for (WindowHandle window : tree.topLevelWindows()) {
    const HWND hwnd = toHwnd(window);
    if (processOf(hwnd) != process || !IsWindowVisible(hwnd) || IsIconic(hwnd)) continue;
    RECT client{};
    if (!GetClientRect(hwnd, &client)) continue;
    const long long area = static_cast<long long>(client.right - client.left) * (client.bottom - client.top);
    if (area > largestArea) {
      largest = window;
      largestArea = area;
    }
  }
  return largest;
}

bool TcpTableWindowLocator::windowRect(WindowHandle window, ScreenRect& rect) {
  const HWND hwnd = toHwnd(window);
  if (window == 0 || !IsWindow(hwnd)) return false;
  RECT area{};
  if ((GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD) != 0) {
    if (!GetWindowRect(hwnd, &area)) return false;
  } else {
    POINT origin{0, 0};
    if (!GetClientRect(hwnd, &area) || !ClientToScreen(hwnd, &origin)) return false;
    OffsetRect(&area, origin.x, origin.y);
  }
  rect = ScreenRect{area.left, area.top, area.right, area.bottom};
  return true;
}

}  // namespace tessary
