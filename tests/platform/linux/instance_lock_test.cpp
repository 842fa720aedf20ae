#include "platform/linux/instance_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace tessary {
namespace {

namespace fs = std::filesystem;

TEST(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstEnds) {
  fs::path dir = fs::temp_directory_path() / ("tessary_lock_" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::string path = (dir / "Quon_Tessary_Instance").string();
  {
    InstanceLock first(path);
    ASSERT_EQ(first.acquire(), InstanceGuard::Outcome::kFirst);
    EXPECT_EQ(first.acquire(), InstanceGuard::Outcome::kFirst);  // asking again is harmless
    InstanceLock second(path);
    EXPECT_EQ(second.acquire(), InstanceGuard::Outcome::kAnotherRunning);
  }
  InstanceLock third(path);
  EXPECT_EQ(third.acquire(), InstanceGuard::Outcome::kFirst);
  fs::remove_all(dir);
}

TEST(InstanceLockTest, UnusableFolderRunsUnguardedAndLinksAreNotFollowed) {
  InstanceLock nowhere("/nonexistent-tessary-dir/Quon_Tessary_Instance");
  EXPECT_EQ(nowhere.acquire(), InstanceGuard::Outcome::kUnavailable);

  fs::path dir = fs::temp_directory_path() / ("tessary_link_" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::create_symlink(dir / "target", dir / "Quon_Tessary_Instance");
  InstanceLock planted((dir / "Quon_Tessary_Instance").string());
  EXPECT_EQ(planted.acquire(), InstanceGuard::Outcome::kUnavailable);
  EXPECT_FALSE(fs::exists(dir / "target"));
  fs::remove_all(dir);
}

TEST(InstanceLockTest, PathFollowsTheRuntimeFolder) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  std::string savedValue = saved ? saved : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(instanceLockPath(), "/run/user/4242/Quon_Tessary_Instance");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(instanceLockPath(), "/tmp/Quon_Tessary_Instance." + std::to_string(getuid()));
  if (saved) setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
}

}  // namespace
}  // namespace tessary
