#include "platform/windows/net_server_lan_browser.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/wait_until.h"

namespace tessary {
namespace {

bool waitForListings(const NetServerLanBrowser& browser, int count) {
  return testing::waitUntil([&] { return browser.listings() >= count; });
}

TEST(NetServerLanBrowser, ListsInTheBackgroundAndKeepsOnlyNamesAReplyCanCarry) {
  NetServerLanBrowser browser([] {
    return std::vector<std::string>{"ZETA", "alpha", "", "bad,name", "tab\tname", "ZETA", "Büro-PC"};
  });
  ASSERT_TRUE(waitForListings(browser, 1));
  EXPECT_EQ(browser.names(), (std::vector<std::string>{"Büro-PC", "ZETA", "alpha"}));
}

TEST(NetServerLanBrowser, TheSystemsListAnswersAndStopsPromptly) {
  // Under Wine there is no browser service and the list is empty; on a real
  // network it holds at least this machine.
  NetServerLanBrowser browser;
  ASSERT_TRUE(waitForListings(browser, 1));
  for (const std::string& name : browser.names()) EXPECT_FALSE(name.empty());
  const auto before = std::chrono::steady_clock::now();
  {
    NetServerLanBrowser stopped([] { return std::vector<std::string>{"ONE"}; });
    ASSERT_TRUE(waitForListings(stopped, 1));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10))
      << "the destructor must not wait out the minute between listings";
}

}  // namespace
}  // namespace tessary
