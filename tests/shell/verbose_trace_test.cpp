#include "shell/verbose_trace.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

TEST(VerboseTraceTest, OneLinePerTextWithControlBytesEscaped) {
  using namespace std::string_view_literals;
  EXPECT_EQ(formatTraceLines(TraceDirection::kReceived, "login(x);\nadd(a\0whoareyou()\0"sv, "T"),
            "T <- login(x);\\nadd(a\nT <- whoareyou()\n");
  EXPECT_EQ(formatTraceLines(TraceDirection::kSent, "<string content=\"a\\b\tc\x01\">", "T"),
            "T -> <string content=\"a\\\\b\\tc\\x01\">\n");
  EXPECT_EQ(formatTraceLines(TraceDirection::kSent, "", "T"), "T -> \n");
  std::string stamp = traceTimeStamp();
  ASSERT_EQ(stamp.size(), 12u);
  EXPECT_EQ(stamp[2], ':');
  EXPECT_EQ(stamp[8], '.');
}

}  // namespace
}  // namespace tessary
