#include "platform/linux/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/linux/signal_pipe.h"
#include "support/child_process.h"

namespace tessary {
namespace {

namespace fs = std::filesystem;
using Outcome = InstanceGuard::Outcome;
using namespace std::chrono_literals;

TEST(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstEnds) {
  testing::TempFolder folder;
  const std::string path = folder.file("Quon_Tessary_Instance");
  {
    InstanceLock first(path);
    ASSERT_EQ(first.acquire(), Outcome::kFirst);
    EXPECT_EQ(InstanceLock(path).acquire(), Outcome::kAnotherRunning);
  }
  EXPECT_EQ(InstanceLock(path).acquire(), Outcome::kFirst);
}

TEST(InstanceLockTest, UnusableFolderRunsUnguardedAndLinksAreNotFollowed) {
  EXPECT_EQ(InstanceLock("/nonexistent-tessary-dir/Quon_Tessary_Instance").acquire(), Outcome::kUnavailable);
  testing::TempFolder folder;
  fs::create_symlink(folder.file("target"), folder.file("Quon_Tessary_Instance"));
  EXPECT_EQ(InstanceLock(folder.file("Quon_Tessary_Instance")).acquire(), Outcome::kUnavailable);
  EXPECT_FALSE(fs::exists(folder.file("target")));
}

TEST(SignalPipeTest, TerminationSignalsBecomeRequestsInsteadOfEndingTheProcess) {
  std::mutex lock;
  std::condition_variable changed;
  int requests = 0;
  auto waitForRequests = [&](int count) {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, 5s, [&] { return requests >= count; });
  };

  SignalPipe pipe;
  // A signal before delivery starts is kept, not lost.
  raise(SIGTERM);
  pipe.startDelivery([&] {
    std::lock_guard guard(lock);
    ++requests;
    changed.notify_all();
  });
  ASSERT_TRUE(waitForRequests(1));
  for (int signalNumber : {SIGTERM, SIGINT}) {
    int before = requests;
    raise(signalNumber);
    raise(SIGPIPE);  // ignored: a vanished client must not end the program
    EXPECT_TRUE(waitForRequests(before + 1));
    EXPECT_EQ(SignalPipe::lastSignal(), signalNumber);
  }
  pipe.stopDelivery();
  int before = requests;
  raise(SIGTERM);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(requests, before) << "no call after stopDelivery";
}

}  // namespace
}  // namespace tessary
