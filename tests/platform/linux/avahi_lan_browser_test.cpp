#include "platform/linux/avahi_lan_browser.h"

#include <avahi-client/lookup.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace tessary {
namespace {

TEST(AvahiLanBrowserTest, MachineNamesComeFromWorkstationAnnouncements) {
  EXPECT_EQ(AvahiLanBrowser::machineName("desk [00:11:22:33:44:55]"), "desk");
  EXPECT_EQ(AvahiLanBrowser::machineName("odd [name"), "odd [name");
  // Such names would break the comma-separated list.
  EXPECT_EQ(AvahiLanBrowser::machineName("a,b [00:11:22:33:44:55]"), "");
  EXPECT_EQ(AvahiLanBrowser::machineName("tab\there"), "");
}

TEST(AvahiLanBrowserTest, ANameStaysWhileAnyAnnouncementCarriesIt) {
  AvahiLanBrowser browser;
  auto has = [&](const std::string& name) {
    const std::vector<std::string> names = browser.names();
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  // Announcements the daemon cannot make here: names no machine uses.
  browser.serviceChanged(AVAHI_BROWSER_NEW, "zz-test-host [00:00:00:00:00:01]");
  browser.serviceChanged(AVAHI_BROWSER_NEW, "zz-test-host [00:00:00:00:00:01]");  // IPv6 too
  browser.serviceChanged(AVAHI_BROWSER_NEW, "zz-other");
  browser.serviceChanged(AVAHI_BROWSER_REMOVE, "zz-test-host [00:00:00:00:00:01]");
  EXPECT_TRUE(has("zz-test-host"));
  browser.serviceChanged(AVAHI_BROWSER_REMOVE, "zz-test-host [00:00:00:00:00:01]");
  browser.serviceChanged(AVAHI_BROWSER_REMOVE, "never-seen");
  EXPECT_FALSE(has("zz-test-host"));
  EXPECT_TRUE(has("zz-other"));
}

}  // namespace
}  // namespace tessary
