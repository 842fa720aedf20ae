#include "platform/linux/instance_lock.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <filesystem>

#include "platform/linux/signal_pipe.h"
#include "support/child_process.h"

namespace tessary {
namespace {

namespace fs = std::filesystem;
using Outcome = InstanceGuard::Outcome;

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

bool readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN);
}

TEST(SignalPipeTest, TerminationSignalsBecomeReadableInsteadOfEndingTheProcess) {
  SignalPipe pipe;
  ASSERT_GE(pipe.readableHandle(), 0);
  EXPECT_FALSE(readable(pipe.readableHandle()));
  for (int signalNumber : {SIGTERM, SIGINT}) {
    raise(signalNumber);
    raise(signalNumber);
    raise(SIGPIPE);  // ignored: a vanished client must not end the program
    EXPECT_TRUE(readable(pipe.readableHandle()));
    EXPECT_EQ(SignalPipe::lastSignal(), signalNumber);
    pipe.acknowledge();
    EXPECT_FALSE(readable(pipe.readableHandle()));
  }
}

}  // namespace
}  // namespace tessary
