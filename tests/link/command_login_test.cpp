// Login, logout and the rules for cutting what the client sends into texts,
// statements and parameters.
#include <string>

#include "link/command_fixture.h"
#include "link/identification.h"

namespace tessary::testing {
namespace {

const std::string kPleaseLogin = error("Command unavailable, please login.");

TEST_F(CommandLinkTest, GuardedCommandsWaitForTheRightCode) {
  feed(std::string_view("whoareyou()\0", 12));  // run() itself ends with this question
  EXPECT_EQ(client.nextText(), "<string content=\"" + std::string(identificationText()) +
                                   "\nKey created : " + std::string(keyCreatedText()) + "\">");
  expectReplies("whoareyou( )", {error("whoareyou : Wrong number of parameters.")});
  expectReplies("check_data_type()", {kPleaseLogin});
  // set_data_type needs no login; the refusal then comes in the script form.
  expectReplies("set_data_type(commands);check_data_type();set_data_type(xml)",
                {"error(Command unavailable, please login.);"});
  expectReplies("login(wrong)", {"<login status=\"failed\">"});
  expectReplies("login( secret)", {"<login status=\"failed\">"});  // the blank is part of it
  EXPECT_FALSE(interpreter.isLoggedIn());
  // Both statements of one text run in order; the second sees the login.
  expectReplies("login(secret);check_data_type()",
                {"<login status=\"successful\">", "<data status=\"xml\">"});
  // A failed login logs a logged-in client out.
  expectReplies("login(nope);get_flip()", {"<login status=\"failed\">", kPleaseLogin});
  EXPECT_EQ(loginChanges, 4);
}

TEST_F(CommandLinkTest, MissingCodeFileAndCodesThatCannotMatch) {
  std::filesystem::remove(codePath);
  expectReplies("login(secret)", {error("No login data. Enter code via Tessary.")});
  writeCode("a,b");  // would need two parameters
  expectReplies("login(a,b)", {error("login : Wrong number of parameters.")});
  writeCode("code \r\n");  // nothing is trimmed
  expectReplies("login(code \r\n)", {"<login status=\"successful\">"});
  writeCode(std::string("key\0tail", 8));  // a text: it ends at its first NUL
  expectReplies("login(key)", {"<login status=\"successful\">"});
}

TEST_F(LoggedInTest, StatementsSplitAtSemicolonsWithNothingTrimmed) {
  expectReplies("a;;b", {error("Error in command 'a'."), error("Error in command ''."),
                         error("Error in command 'b'.")});
  expectReplies("get_flip();\n", {"<flip status=\"false\">", error("Error in command '\n'.")});
  // Unknown keywords and methods, and a method call without "(", are silent.
  expectReplies("foo(1);add(z,1,1,5,5);z.bogus(1);z.move", {});
  expectReplies("q.move(1,2)", {error("Invalid zone or grid name 'q'.")});
  // "(" before "." makes a global command, so the dot stays in the name.
  expectReplies("add(a.b,1,2,3,4)", {});
  EXPECT_TRUE(controller.zoneExists("a.b"));
  expectReplies("a.b.move(1,2)", {error("Invalid zone or grid name 'a'.")});
  // Texts in one block run one after the other.
  expectReplies(std::string_view("get_flip()\0get_mirror()", 23),
                {"<flip status=\"false\">", "<mirror status=\"false\">"});
}

TEST_F(LoggedInTest, ParameterRules) {
  // Leading blanks go, trailing blanks stay, the last character always goes.
  expectReplies("mirror(true );mirror( true);get_mirror();flip(true",
                {error("mirror: illegal parameter"), "<mirror status=\"true\">",
                 error("flip: illegal parameter")});
  // "," always separates; the count is checked before the handler runs.
  expectReplies("flip(true,false);check_threshold();check_threshold(0)",
                {error("flip : Wrong number of parameters."),
                 error("check_threshold : Wrong number of parameters."),
                 "<threshold status=\"20\">"});
  expectReplies("add(z,1,1,5,5);z.move(1);status_messages(move,hit,no_add)",
                {error("move : Wrong number of parameters.")});
}

TEST_F(LoggedInTest, ReadBoundariesEndTexts) {
  EXPECT_EQ(runRaw("flip(tr"), std::vector<std::string>{error("flip: illegal parameter")});
  EXPECT_EQ(runRaw(std::string("ue)", 4)),
            std::vector<std::string>{error("Error in command 'ue)'.")});
  // A full read without NUL is cut to fit the 257 bytes of a reply, which keeps its frame.
  EXPECT_EQ(runRaw(std::string(2048, 'a')),
            (std::vector<std::string>{error("Error in command '" + std::string(257 - 36, 'a')),
                                      error("Error in command 'a'.")}));
}

TEST_F(LoggedInTest, LongNamesAreCutTheSameWayEverywhere) {
  const std::string longName(200, 'n');
  const std::string cut(127, 'n');
  expectReplies("status_messages(add,move);add(" + longName + ",1,1,5,5);" + longName +
                    ".move(2,2)",
                {"<zone name=\"" + cut + "\" status=\"Created - (1,1)-(5,5)\">",
                 "<zone name=\"" + cut + "\" status=\"Moved - (2,2)-(5,5)\">"});
  expectReplies(std::string(300, 'u') + ".move(1,1)",
                {error("Invalid zone or grid name '" + std::string(127, 'u') + "'.")});
  expectReplies(std::string(500, 'k') + "(1)", {});  // a long keyword is no keyword
}

}  // namespace
}  // namespace tessary::testing
