// The lexical rules on their own, and the interpreter fed whole blocks.
#include "link/command_syntax.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace tessary {
namespace {

std::vector<std::string> statementsOf(std::string_view text) {
  std::vector<std::string> out;
  forEachStatement(text, [&](std::string_view s) { out.emplace_back(s); });
  return out;
}

std::vector<std::string> textsOf(std::string_view block) {
  std::vector<std::string> out;
  forEachText(block, [&](std::string_view t) { out.emplace_back(t); });
  return out;
}

TEST(CommandSyntaxTest, BlocksFallIntoTextsAndStatements) {
  EXPECT_EQ(textsOf(std::string_view("a\0b\0\0c", 6)),
            (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(textsOf(std::string_view("a\0", 2)), (std::vector<std::string>{"a"}));
  EXPECT_EQ(statementsOf("a;;b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(statementsOf("a;"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(statementsOf(";"), (std::vector<std::string>{""}));
  EXPECT_EQ(statementsOf(" x(1) ;\n"), (std::vector<std::string>{" x(1) ", "\n"}));
  EXPECT_TRUE(statementsOf("").empty());
}

TEST(CommandSyntaxTest, TheFirstDotOrParenthesisDecidesTheForm) {
  ParsedStatement global = parseStatement("add(a.b,1)");
  EXPECT_EQ(global.form, StatementForm::kGlobal);
  EXPECT_EQ(global.name, "add");
  EXPECT_EQ(global.arguments, "a.b,1");

  ParsedStatement method = parseStatement("a.b.move(1,2)");
  EXPECT_EQ(method.form, StatementForm::kMethod);
  EXPECT_EQ(method.name, "a");
  EXPECT_TRUE(method.hasMethod);
  EXPECT_EQ(method.method, "b.move");

  EXPECT_FALSE(parseStatement("z.move").hasMethod);
  EXPECT_EQ(parseStatement("nothing").form, StatementForm::kInvalid);
  EXPECT_EQ(parseStatement("").form, StatementForm::kInvalid);
  // The last character goes whatever it is; "(" alone leaves nothing.
  EXPECT_EQ(parseStatement("flip(true").arguments, "tru");
  EXPECT_EQ(parseStatement("flip(").arguments, "");
  EXPECT_EQ(parseStatement("z.m(").arguments, "");
  EXPECT_EQ(parseStatement("f(x) ").arguments, "x)");
}

TEST(CommandSyntaxTest, ParametersSkipLeadingBlanksOnly) {
  EXPECT_EQ(parameterCount(""), 0);
  EXPECT_EQ(parameterCount(" "), 1);
  EXPECT_EQ(parameterCount(",,"), 3);
  EXPECT_EQ(parameterAt(1, "  a b ,c"), "a b ");
  EXPECT_EQ(parameterAt(2, "  a b ,  c"), "c");
  EXPECT_EQ(parameterAt(2, "a,\tb"), "\tb");
  EXPECT_EQ(parameterAt(2, "a,,b"), "");
  EXPECT_EQ(parameterAt(3, "a,b"), "");
  EXPECT_EQ(parameterAt(0, "a"), "");
  EXPECT_EQ(parameterAt(1, "   "), "");
}

TEST(CommandSyntaxTest, NumbersReadLikeTheRuntimeLibraryButNeverOverflow) {
  EXPECT_EQ(parseInteger(" \t-42x"), -42);
  EXPECT_EQ(parseInteger("+7"), 7);
  EXPECT_EQ(parseInteger("abc"), 0);
  EXPECT_EQ(parseInteger("--1"), 0);
  EXPECT_EQ(parseInteger("2147483647"), 2147483647);
  EXPECT_EQ(parseInteger("99999999999999999999999"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(parseInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(parseInteger("-99999999999999999999999"), std::numeric_limits<std::int32_t>::min());

  EXPECT_DOUBLE_EQ(parseReal("2.5"), 2.5);
  EXPECT_DOUBLE_EQ(parseReal(" +1.5s"), 1.5);
  EXPECT_DOUBLE_EQ(parseReal("-0.25"), -0.25);
  EXPECT_DOUBLE_EQ(parseReal("x"), 0.0);
  EXPECT_DOUBLE_EQ(parseReal("+-1"), 0.0);
  EXPECT_EQ(parseReal("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(parseReal("-1e999"), -std::numeric_limits<double>::infinity());
}

}  // namespace
}  // namespace tessary
