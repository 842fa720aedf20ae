#include "link/window_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace tessary {
namespace {

constexpr std::uint64_t kClient = 4321;
constexpr std::uint64_t kOther = 99;

struct FakeWindow {
  WindowHandle window = 0;
  WindowHandle parent = 0;  // 0: top level
  std::string className;
  std::uint64_t process = 0;
};

// A window tree written down as parent links, in enumeration order.
struct FakeWindowTree final : WindowTree {
  FakeWindowTree(std::initializer_list<FakeWindow> list) : windows(list) {}
  std::vector<WindowHandle> topLevelWindows() override { return children(0, false); }
  std::vector<WindowHandle> descendants(WindowHandle window) override {
    return children(window, true);
  }
  std::uint64_t owningProcess(WindowHandle window) override { return find(window).process; }
  std::string parentClassName(WindowHandle window) override {
    ++classReads;
    return find(find(window).parent).className;
  }
  std::vector<WindowHandle> children(WindowHandle parent, bool deep) {
    std::vector<WindowHandle> result;
    for (const FakeWindow& w : windows) {
      if (w.parent != parent) continue;
      result.push_back(w.window);
      if (deep) std::ranges::copy(children(w.window, true), std::back_inserter(result));
    }
    return result;
  }
  FakeWindow find(WindowHandle window) {
    auto found = std::ranges::find(windows, window, &FakeWindow::window);
    return found != windows.end() ? *found : FakeWindow{};
  }

  std::vector<FakeWindow> windows;
  int classReads = 0;
};

TEST(WindowSearch, EachKnownParentClassMarksTheDisplayArea) {
  // The main form passes over its first child; the skip is set again for each
  // of the client's top-level windows.
  FakeWindowTree mainForm{{1, 0, "Frame", kClient}, {2, 1, "TfrmMain"},  {3, 2, "OnlyChild"},
                          {10, 0, "Frame", kClient}, {11, 10, "TfrmMain"}, {12, 11, "First"},
                          {13, 11, "Second"}};
  EXPECT_EQ(searchClientWindow(mainForm, kClient, 0), 13u);
  // A browser view's and a panel's children are taken at once.
  FakeWindowTree browser{{1, 0, "Frame", kClient}, {2, 1, "Internet Explorer_Server"},
                         {3, 2, "Inner"}, {4, 2, "Second"}};
  EXPECT_EQ(searchClientWindow(browser, kClient, 0), 3u);
  FakeWindowTree panel{{1, 0, "Frame", kClient}, {2, 1, "Toolbar"}, {3, 2, "Grip"},
                       {4, 1, "TPanel"},         {5, 4, "Viewer"},  {6, 4, "Later"}};
  EXPECT_EQ(searchClientWindow(panel, kClient, 0), 5u);
  EXPECT_EQ(panel.classReads, 4) << "the search stops at the first match";
}

TEST(WindowSearch, OnlyTheClientsWindowsAndExactClassNamesCount) {
  FakeWindowTree tree{{1, 0, "Frame", kOther},   {2, 1, "TPanel"}, {3, 2, "NotTheClients"},
                      {10, 0, "Frame", kClient}, {11, 10, "tpanel"}, {12, 11, "Child"}};
  EXPECT_EQ(searchClientWindow(tree, kClient, 0), 0u);
  EXPECT_EQ(searchClientWindow(tree, kClient, 77), 77u) << "no match keeps the watched window";
  EXPECT_EQ(searchClientWindow(tree, kOther, 0), 3u);
}

TEST(WindowSearch, WhileWatchingOnlyTheClientsFirstTopLevelWindowIsSearched) {
  FakeWindowTree tree{{1, 0, "Frame", kClient}, {2, 1, "Status"}, {10, 0, "Frame", kClient},
                      {11, 10, "TPanel"},       {12, 11, "Viewer"}};
  EXPECT_EQ(searchClientWindow(tree, kClient, 55), 55u);
  EXPECT_EQ(searchClientWindow(tree, kClient, 0), 12u);
  tree.windows.insert(tree.windows.begin() + 2, {{3, 1, "TPanel"}, {4, 3, "Replacement"}});
  EXPECT_EQ(searchClientWindow(tree, kClient, 55), 4u) << "a match replaces the watched window";
}

TEST(WindowSearch, OnlyPeersOfConnectionsTheLinkAcceptedAreClients) {
  constexpr std::uint16_t kPort = 2152;
  const std::vector<ConnectionRow> rows{
      {true, 40001, kPort, 21},  // waiting in the listen queue
      {true, kPort, 40001, 0},   // its server end, not accepted yet
      {true, 40004, kPort, 24},  // this machine's client of some other server on the same port
      {true, 40002, kPort, 22},  // the client being served
      {true, kPort, 40002, 31},
      {true, 40003, 80, 23},     // elsewhere
  };
  const std::vector<ConnectionRow> clients = acceptedClientRows(rows, kPort);
  ASSERT_EQ(clients.size(), 1u);
  EXPECT_EQ(clients[0].owner, 22u);
  EXPECT_EQ(findClientRow(clients, kPort), 0);
}

}  // namespace
}  // namespace tessary
