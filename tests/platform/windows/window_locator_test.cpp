// The client's process from the system's TCP table and its windows, with a
// real client program connected over loopback. (The panel's child followed
// as it moves is checked end to end in overlay_program_test.cpp.)
// The Winsock and IP helper headers before GoogleTest's, which pulls in
// windows.h on its own.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "platform/windows/tcp_table_window_locator.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/windows/key_client_process.h"

namespace tessary {
namespace {

using testing::KeyClientProcess;

// A table as the system hands it over: the count, then rows of state, local
// address and port, remote address and port, owner; ports in network order.
std::vector<std::uint8_t> ipv4Table(std::uint32_t count, std::initializer_list<MIB_TCPROW_OWNER_PID> rows) {
  std::vector<std::uint8_t> table(offsetof(MIB_TCPTABLE_OWNER_PID, table) + rows.size() * sizeof(MIB_TCPROW_OWNER_PID));
  std::memcpy(table.data(), &count, sizeof count);
  std::memcpy(table.data() + offsetof(MIB_TCPTABLE_OWNER_PID, table), rows.begin(),
              rows.size() * sizeof(MIB_TCPROW_OWNER_PID));
  return table;
}

DWORD port(std::uint16_t value) { return htons(value); }

TEST(TcpTable, RowsKeepTheirPortsStateAndOwnerAndStopAtTheBuffersEnd) {
  const std::vector<std::uint8_t> table =
      ipv4Table(5, {{MIB_TCP_STATE_LISTEN, 0, port(2152), 0, 0, 8},
                    {MIB_TCP_STATE_ESTAB, 0x0100007F, port(40000), 0x0100007F, port(2152) | 0xABCD0000, 4321},
                    {MIB_TCP_STATE_ESTAB, 0x0100007F, port(2152), 0x0100007F, port(40000), 8},
                    {MIB_TCP_STATE_TIME_WAIT, 0x0100007F, port(40001), 0x0100007F, port(2152), 0}});
  const std::vector<ConnectionRow> rows = tcpTableRows(table, AF_INET);
  ASSERT_EQ(rows.size(), 4u) << "the table claims five rows but holds four";
  EXPECT_FALSE(rows[0].established);
  EXPECT_TRUE(rows[1].established);
  EXPECT_EQ(rows[1].localPort, 40000);
  EXPECT_EQ(rows[1].remotePort, 2152) << "only the low 16 bits hold the port";
  EXPECT_EQ(rows[1].owner, 4321u);
  EXPECT_FALSE(rows[3].established);
  EXPECT_EQ(findClientRow(acceptedClientRows(rows, 2152), 2152), 0);
  EXPECT_TRUE(tcpTableRows(std::span(table).first(2), AF_INET).empty());
  EXPECT_TRUE(tcpTableRows(table, AF_UNSPEC).empty());
}

TEST(TcpTableWindowLocator, FindsTheClientsWindowThroughItsConnection) {
  KeyClientProcess client("panel");
  ASSERT_TRUE(client.ok());
  EXPECT_EQ(findClientProcess(client.port()), client.processId());
  TcpTableWindowLocator locator;
  EXPECT_EQ(locator.findClientWindow(client.port(), 0), client.watched());
  EXPECT_EQ(locator.findClientWindow(static_cast<std::uint16_t>(client.port() + 1), 77), 77u)
      << "no client on that port keeps the watched window";
}

TEST(TcpTableWindowLocator, WithoutAKnownWindowKindTakesTheLargestTopLevelWindow) {
  KeyClientProcess client("plain");
  ASSERT_TRUE(client.ok());
  TcpTableWindowLocator locator;
  const WindowHandle frame = TcpTableWindowLocator::findWindowOf(client.processId(), 0);
  EXPECT_EQ(frame, client.watched());
  ScreenRect rect;
  ASSERT_TRUE(locator.windowRect(frame, rect));
  EXPECT_EQ(rect, (ScreenRect{50, 50, 650, 450}));
  EXPECT_EQ(TcpTableWindowLocator::findWindowOf(client.processId(), 5), 5u)
      << "while watching, nothing replaces it";
  EXPECT_EQ(TcpTableWindowLocator::findWindowOf(GetCurrentProcessId(), 0), 0u) << "no visible window here";
}

TEST(TcpTableWindowLocator, AClosedWindowHasNoRectangle) {
  TcpTableWindowLocator locator;
  ScreenRect rect{1, 2, 3, 4};
  EXPECT_FALSE(locator.windowRect(0, rect));
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 10, 20, 30, 40, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const auto handle = reinterpret_cast<std::uintptr_t>(window);
  ASSERT_TRUE(locator.windowRect(handle, rect));
  EXPECT_EQ(rect, (ScreenRect{10, 20, 40, 60}));
  DestroyWindow(window);
  EXPECT_FALSE(locator.windowRect(handle, rect));
  EXPECT_EQ(rect, (ScreenRect{10, 20, 40, 60}));
}

}  // namespace
}  // namespace tessary
