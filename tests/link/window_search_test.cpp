#include "link/window_search.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace tessary {
namespace {

// A window tree written down as parent links, in enumeration order.
class FakeWindowTree final : public WindowTree {
 public:
  struct Node {
    WindowHandle parent = 0;  // 0: top level
    std::uint64_t process = 0;
    std::string className;
  };

  void add(WindowHandle window, WindowHandle parent, std::string className, std::uint64_t process = 0) {
    order_.push_back(window);
    nodes_[window] = Node{parent, process, std::move(className)};
  }

  std::vector<WindowHandle> topLevelWindows() override {
    std::vector<WindowHandle> result;
    for (WindowHandle window : order_) {
      if (nodes_[window].parent == 0) result.push_back(window);
    }
    return result;
  }
  std::uint64_t owningProcess(WindowHandle window) override { return nodes_[window].process; }
  std::vector<WindowHandle> descendants(WindowHandle window) override {
    std::vector<WindowHandle> result;
    appendChildren(window, result);
    return result;
  }
  std::string parentClassName(WindowHandle window) override {
    ++classReads;
    return nodes_[nodes_[window].parent].className;
  }

  int classReads = 0;

 private:
  void appendChildren(WindowHandle window, std::vector<WindowHandle>& out) {
    for (WindowHandle candidate : order_) {
      if (nodes_[candidate].parent != window) continue;
      out.push_back(candidate);
      appendChildren(candidate, out);
    }
  }

  std::vector<WindowHandle> order_;
  std::map<WindowHandle, Node> nodes_;
};

constexpr std::uint64_t kClient = 4321;
constexpr std::uint64_t kOther = 99;

TEST(WindowSearch, MainFormPassesOverItsFirstChildAndTakesTheSecond) {
  FakeWindowTree tree;
  tree.add(1, 0, "Shell", kClient);
  tree.add(2, 1, "TfrmMain");
  tree.add(3, 2, "Button");
  tree.add(4, 2, "Canvas");
  EXPECT_EQ(searchClientWindow(tree, kClient, 0), 4u);

  // The skip is set again for each of the client's top-level windows.
  FakeWindowTree two;
  two.add(1, 0, "Frame", kClient);
  two.add(2, 1, "TfrmMain");
  two.add(3, 2, "OnlyChild");
  two.add(10, 0, "Frame", kClient);
  two.add(11, 10, "TfrmMain");
  two.add(12, 11, "First");
  two.add(13, 11, "Second");
  EXPECT_EQ(searchClientWindow(two, kClient, 0), 13u);
}

TEST(WindowSearch, BrowserViewAndPanelChildrenAreTakenAtOnce) {
  FakeWindowTree browser;
  browser.add(1, 0, "Frame", kClient);
  browser.add(2, 1, "Internet Explorer_Server");
  browser.add(3, 2, "Inner");
  browser.add(4, 2, "Second");
  EXPECT_EQ(searchClientWindow(browser, kClient, 0), 3u);

  FakeWindowTree panel;
  panel.add(1, 0, "Frame", kClient);
  panel.add(2, 1, "Toolbar");
  panel.add(3, 2, "Grip");
  panel.add(4, 1, "TPanel");
  panel.add(5, 4, "Viewer");
  panel.add(6, 4, "Later");
  EXPECT_EQ(searchClientWindow(panel, kClient, 0), 5u);
  EXPECT_EQ(panel.classReads, 4) << "the search stops at the first match";
}

TEST(WindowSearch, OnlyTheClientsWindowsAndKnownClassesCount) {
  FakeWindowTree tree;
  tree.add(1, 0, "Frame", kOther);
  tree.add(2, 1, "TPanel");
  tree.add(3, 2, "NotTheClients");
  tree.add(10, 0, "Frame", kClient);
  tree.add(11, 10, "tpanel");  // class names compare exactly
  tree.add(12, 11, "Child");
  EXPECT_EQ(searchClientWindow(tree, kClient, 0), 0u);
  EXPECT_EQ(searchClientWindow(tree, kClient, 77), 77u) << "no match keeps the watched window";
  EXPECT_EQ(searchClientWindow(tree, kOther, 0), 3u);
}

TEST(WindowSearch, WhileWatchingOnlyTheClientsFirstTopLevelWindowIsSearched) {
  FakeWindowTree tree;
  tree.add(1, 0, "Frame", kClient);
  tree.add(2, 1, "Status");
  tree.add(10, 0, "Frame", kClient);
  tree.add(11, 10, "TPanel");
  tree.add(12, 11, "Viewer");
  EXPECT_EQ(searchClientWindow(tree, kClient, 55), 55u);
  EXPECT_EQ(searchClientWindow(tree, kClient, 0), 12u);

  tree.add(3, 1, "TPanel");
  tree.add(4, 3, "Replacement");
  EXPECT_EQ(searchClientWindow(tree, kClient, 55), 4u) << "a match replaces the watched window";
}

TEST(ClientRow, FirstEstablishedOwnedRowWithTheLinkPortAsRemotePort) {
  constexpr std::uint16_t kPort = 2152;
  const std::vector<ConnectionRow> rows{
      {false, kPort, 0, 11},        // our listening socket
      {true, kPort, 40000, 12},     // our end of the link
      {false, 40001, kPort, 0},     // an earlier client's connection, closing
      {false, 40002, kPort, 13},    // a connection not yet or no longer established
      {true, 40003, kPort, 0},      // nobody holds it
      {true, 40000, kPort, 14},     // the client's end
      {true, 40004, kPort, 15},
  };
  EXPECT_EQ(findClientRow(rows, kPort), 5);
  EXPECT_EQ(findClientRow(std::span(rows).first(5), kPort), -1);
  EXPECT_EQ(findClientRow(rows, 2153), -1);
  EXPECT_EQ(findClientRow({}, kPort), -1);
}

}  // namespace
}  // namespace tessary
