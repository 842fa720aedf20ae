#include "shell/code_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tessary {
namespace {

namespace fs = std::filesystem;

class CodeFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tessary_code_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
};

TEST_F(CodeFileTest, WritesExactlyTheBytesAndReplacesOldContent) {
  fs::path file = dir_ / "code.dat";
  ASSERT_TRUE(writeCodeFile(file, "a much longer previous code", false));
  ASSERT_TRUE(writeCodeFile(file, std::string_view(" s3cr\xe9t\0x", 9), false));
  EXPECT_EQ(contents(file), std::string(" s3cr\xe9t\0x", 9));
  ASSERT_TRUE(writeCodeFile(file, "", false));
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::file_size(file), 0u);
  // A shared secret: readable by its owner only.
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(CodeFileTest, ReportsFilesItCannotWrite) {
  EXPECT_FALSE(writeCodeFile(dir_ / "missing" / "code.dat", "x", false));
  EXPECT_FALSE(writeCodeFile(dir_, "x", false));  // a folder
  EXPECT_FALSE(writeCodeFile("/dev/full", "x", false));  // the write itself fails
  EXPECT_EQ(codeFileErrorText("/a/b.dat"), "Cannot open /a/b.dat for writing.");
}

TEST_F(CodeFileTest, CreatesTheDefaultFolderWhenAsked) {
  fs::path file = dir_ / "config" / "Quon_System.dat";
  ASSERT_TRUE(writeCodeFile(file, "k", true));
  EXPECT_EQ(contents(file), "k");
}

TEST(CodeLineTest, TakesOneLineWithoutItsLineEnd) {
  std::istringstream unix("abc\nsecond\n");
  EXPECT_EQ(readCodeLine(unix), "abc");
  std::istringstream dos("abc\r\n");
  EXPECT_EQ(readCodeLine(dos), "abc");
  std::istringstream unterminated(" a b ");
  EXPECT_EQ(readCodeLine(unterminated), " a b ");
  std::istringstream emptyLine("\n");
  EXPECT_EQ(readCodeLine(emptyLine), "");
  std::istringstream nothing("");
  EXPECT_EQ(readCodeLine(nothing), std::nullopt);
}

}  // namespace
}  // namespace tessary
