#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "common/private_file.h"
#include "platform/windows/code_file_location.h"
#include "platform/windows/instance_mutex.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_termination.h"
#include "support/wait_until.h"

namespace tessary {
namespace {

// Names of this process only, so parallel tests never share an object.
std::string uniqueName(const char* what) {
  return std::string("Tessary_Test_") + what + "_" + std::to_string(::GetCurrentProcessId());
}

bool requested(const std::atomic<int>& count, int wanted) {
  return testing::waitUntil([&] { return count.load() >= wanted; }, std::chrono::seconds(5));
}

TEST(InstanceMutexTest, OneHolderAtATimeAndTheNameIsFreeAgainWhenItGoes) {
  const std::string name = uniqueName("Instance");
  auto first = std::make_unique<InstanceMutex>(name);
  EXPECT_EQ(first->acquire(), InstanceGuard::Outcome::kFirst);
  EXPECT_EQ(first->acquire(), InstanceGuard::Outcome::kFirst) << "asking again keeps what we hold";
  InstanceMutex second(name);
  EXPECT_EQ(second.acquire(), InstanceGuard::Outcome::kAnotherRunning);
  first.reset();
  EXPECT_EQ(second.acquire(), InstanceGuard::Outcome::kFirst);
  // Another kind of object under the name is no mutex of ours.
  const std::string taken = uniqueName("Taken");
  HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, taken.c_str());
  ASSERT_NE(event, nullptr);
  EXPECT_NE(InstanceMutex(taken).acquire(), InstanceGuard::Outcome::kFirst);
  ::CloseHandle(event);
}

TEST(WindowsTerminationTest, ExitEventAndConsoleEventsReachTheCallbackOnlyWhileDelivering) {
  const std::string name = uniqueName("Exit");
  WindowsTermination termination(name);
  HANDLE exitEvent = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
  ASSERT_NE(exitEvent, nullptr);

  // A request before delivery starts is kept, not lost: a Ctrl+C during
  // start-up still ends the program once its loop runs.
  ASSERT_TRUE(::SetEvent(exitEvent));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::atomic<int> requests{0};
  termination.startDelivery([&requests] { ++requests; });
  EXPECT_TRUE(requested(requests, 1));

  ASSERT_TRUE(::SetEvent(exitEvent));
  EXPECT_TRUE(requested(requests, 2));
  EXPECT_TRUE(termination.onConsoleEvent(CTRL_C_EVENT));
  EXPECT_TRUE(termination.onConsoleEvent(CTRL_CLOSE_EVENT));
  EXPECT_EQ(requests.load(), 4);
  EXPECT_FALSE(termination.onConsoleEvent(1000)) << "an event we do not know is left to the system";

  termination.stopDelivery();
  ASSERT_TRUE(::SetEvent(exitEvent));
  EXPECT_TRUE(termination.onConsoleEvent(CTRL_BREAK_EVENT));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(requests.load(), 4);
  ::CloseHandle(exitEvent);
}

TEST(WindowsTerminationTest, QuitWithoutARunningCopySaysSo) {
  // This test's prefix runs no tessary.exe.
  EXPECT_EQ(quitRunningCopy(1000), 1);
}

TEST(CodeFileLocationTest, TheCodeFileLivesInAFolderTheUserMayWrite) {
  const std::string path = windowsCodeFilePath();
  ASSERT_FALSE(path.empty());
  const std::filesystem::path file(wideFromUtf8(path));
  EXPECT_EQ(file.filename().wstring(), L"Quon_System.dat");
  ASSERT_TRUE(std::filesystem::is_directory(file.parent_path())) << path;
  // A file beside it, so a real code is never touched; written twice, as a
  // new code replaces the old one.
  const std::filesystem::path probe = file.parent_path() / L"tessary_test_probe.dat";
  EXPECT_TRUE(writePrivateFile(utf8FromWide(probe.wstring()), "first code"));
  EXPECT_TRUE(writePrivateFile(utf8FromWide(probe.wstring()), "s3cret"));
  EXPECT_EQ(std::filesystem::file_size(probe), 6u);
  std::error_code ignored;
  std::filesystem::remove(probe, ignored);
}

}  // namespace
}  // namespace tessary
