#include "common/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tessary {
namespace {

TEST(FixedTextTest, CutsOverLongValuesKeepsTheNulAndStopsAtAnEmbeddedOne) {
  FixedText<8> text;
  EXPECT_TRUE(text.assign("abc"));
  EXPECT_EQ(text.view(), "abc");
  EXPECT_FALSE(text.assign("0123456789"));
  EXPECT_EQ(text.view(), "0123456");
  EXPECT_EQ(text.c_str()[7], '\0');
  EXPECT_FALSE(text.append("x"));
  EXPECT_EQ(text.view(), "0123456");
  // Appending fills only what remains.
  FixedText<12> name("door");
  EXPECT_TRUE(name.append("-Del"));
  EXPECT_FALSE(name.append("eted!"));
  EXPECT_EQ(name.view(), "door-Delete");
  EXPECT_EQ(FixedText<16>(std::string_view("ab\0cd", 5)).view(), "ab");
}

TEST(FixedTextTest, FormatIsBounded) {
  char buffer[6];
  EXPECT_EQ(formatText(buffer, "%s=%d", "abc", 1234), 5u);
  EXPECT_STREQ(buffer, "abc=1");
  EXPECT_EQ(formatText(buffer, "%d", 7), 1u);
  EXPECT_STREQ(buffer, "7");
}

}  // namespace
}  // namespace tessary
