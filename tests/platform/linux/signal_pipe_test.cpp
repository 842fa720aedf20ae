#include "platform/linux/signal_pipe.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

namespace tessary {
namespace {

bool readable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN);
}

TEST(SignalPipeTest, TerminationSignalsBecomeReadableInsteadOfEndingTheProcess) {
  SignalPipe pipe;
  ASSERT_GE(pipe.readableHandle(), 0);
  EXPECT_FALSE(readable(pipe.readableHandle()));

  raise(SIGTERM);
  EXPECT_TRUE(readable(pipe.readableHandle()));
  EXPECT_EQ(SignalPipe::lastSignal(), SIGTERM);
  pipe.acknowledge();
  EXPECT_FALSE(readable(pipe.readableHandle()));

  raise(SIGINT);
  raise(SIGINT);
  raise(SIGPIPE);  // ignored: a vanished client must not end the program
  EXPECT_EQ(SignalPipe::lastSignal(), SIGINT);
  pipe.acknowledge();
  EXPECT_FALSE(readable(pipe.readableHandle()));
}

}  // namespace
}  // namespace tessary
