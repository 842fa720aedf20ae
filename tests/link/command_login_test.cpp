// Login, logout and the interpreter's own rules for cutting text into
// statements, over a real loopback connection.
#include <string>

#include "link/command_fixture.h"
#include "link/identification.h"

namespace tessary::testing {
namespace {

constexpr const char* kPleaseLogin = "<error content=\"Command unavailable, please login.\">";

TEST_F(CommandLinkTest, GuardedCommandsWaitForTheRightCode) {
  expectReplies("check_data_type()", {kPleaseLogin});
  // set_data_type needs no login; the refusal then comes in the script form.
  expectReplies("set_data_type(commands);check_data_type()",
                {"error(Command unavailable, please login.);"});
  expectReplies("set_data_type(xml)", {});
  expectReplies("login(wrong)", {"<login status=\"failed\">"});
  // A leading blank is part of the code.
  expectReplies("login( secret)", {"<login status=\"failed\">"});
  EXPECT_FALSE(interpreter.isLoggedIn());
  // Both statements of one text run in order; the second sees the login.
  expectReplies("login(secret);check_data_type()",
                {"<login status=\"successful\">", "<data status=\"xml\">"});
  EXPECT_TRUE(interpreter.isLoggedIn());
  // A failed login logs a logged-in client out.
  expectReplies("login(nope);get_flip()", {"<login status=\"failed\">", kPleaseLogin});
  EXPECT_EQ(loginChanges, 4);
}

TEST_F(CommandLinkTest, MissingCodeFileAndCodesThatCannotMatch) {
  std::filesystem::remove(codePath);
  expectReplies("login(secret)",
                {"<error content=\"No login data. Enter code via Tessary.\">"});
  EXPECT_FALSE(interpreter.isLoggedIn());
  // A code holding "," would need two parameters.
  writeCode("a,b");
  expectReplies("login(a,b)", {"<error content=\"login : Wrong number of parameters.\">"});
  // The file is a text: it ends at its first NUL byte.
  writeCode(std::string("key\0tail", 8));
  expectReplies("login(key)", {"<login status=\"successful\">"});
}

TEST_F(CommandLinkTest, ANewClientMustLogInAgain) {
  logIn();
  expectReplies("set_data_type(commands)", {});
  client.close();
  ASSERT_TRUE(waitUntil([&] {
    interpreter.poll();  // the receive notices the client has gone
    return !interpreter.isLoggedIn();
  }));
  connectClient();
  // Replies are back in the XML form and the code is asked for again.
  expectReplies("check_data_type()", {kPleaseLogin});
  logIn();
}

TEST_F(CommandLinkTest, WhoAreYouAnswersBeforeLogin) {
  std::string expected = "<string content=\"" + std::string(identificationText()) +
                         "\nKey created : " + std::string(keyCreatedText()) + "\">";
  // Asked on its own: the exchange helper itself ends with this question.
  feed(std::string_view("whoareyou()\0", 12));
  EXPECT_EQ(client.nextText(), expected);
  EXPECT_NE(expected.find("Tessary"), std::string::npos);
  // A blank is a parameter.
  expectReplies("whoareyou( )", {"<error content=\"whoareyou : Wrong number of parameters.\">"});
}

TEST_F(LoggedInTest, StatementsSplitAtSemicolonsWithNothingTrimmed) {
  expectReplies("a;;b", {"<error content=\"Error in command 'a'.\">",
                         "<error content=\"Error in command ''.\">",
                         "<error content=\"Error in command 'b'.\">"});
  expectReplies("get_flip();\n",
                {"<flip status=\"false\">", "<error content=\"Error in command '\n'.\">"});
  // Unknown keywords and methods, and a method call without "(", are silent.
  expectReplies("foo(1);add(z,1,1,5,5);z.bogus(1);z.move", {});
  expectReplies("q.move(1,2)", {"<error content=\"Invalid zone or grid name 'q'.\">"});
  // "(" before "." makes a global command, so the dot stays in the name.
  expectReplies("add(a.b,1,2,3,4)", {});
  EXPECT_TRUE(controller.zoneExists("a.b"));
  expectReplies("a.b.move(1,2)", {"<error content=\"Invalid zone or grid name 'a'.\">"});
  // Texts in one block run one after the other.
  expectReplies(std::string_view("get_flip()\0get_mirror()", 23),
                {"<flip status=\"false\">", "<mirror status=\"false\">"});
}

TEST_F(LoggedInTest, ParameterRules) {
  // Leading blanks go, trailing blanks stay, the last character always goes.
  expectReplies("mirror(true )", {"<error content=\"mirror: illegal parameter\">"});
  expectReplies("mirror( true);get_mirror()", {"<mirror status=\"true\">"});
  expectReplies("flip(true", {"<error content=\"flip: illegal parameter\">"});
  // "," always separates; the count is checked before the handler runs.
  expectReplies("flip(true,false)", {"<error content=\"flip : Wrong number of parameters.\">"});
  expectReplies("check_threshold()",
                {"<error content=\"check_threshold : Wrong number of parameters.\">"});
  expectReplies("check_threshold(0)", {"<threshold status=\"20\">"});
  expectReplies("add(z,1,1,5,5);z.move(1)",
                {"<error content=\"move : Wrong number of parameters.\">"});
  expectReplies("status_messages(move,hit,no_add)", {});
}

TEST_F(LoggedInTest, ATextCutByAReadIsTwoTexts) {
  EXPECT_EQ(runRaw("flip(tr"), std::vector<std::string>{
                                   "<error content=\"flip: illegal parameter\">"});
  EXPECT_EQ(runRaw(std::string("ue)", 4)), std::vector<std::string>{
                                              "<error content=\"Error in command 'ue)'.\">"});
}

TEST_F(LoggedInTest, AFullReadWithoutNulStaysInsideTheBuffer) {
  std::vector<std::string> texts = runRaw(std::string(2048, 'a'));
  ASSERT_EQ(texts.size(), 2u);
  // The first read is cut to fit the reply, which keeps its frame.
  EXPECT_LE(texts[0].size(), ReplySender::kTextCapacity - 1);
  EXPECT_EQ(texts[0].rfind("<error content=\"Error in command 'aaaa", 0), 0u);
  EXPECT_EQ(texts[0].substr(texts[0].size() - 2), "\">");
  EXPECT_EQ(texts[1], "<error content=\"Error in command 'a'.\">");
}

TEST_F(LoggedInTest, LongNamesAreCutTheSameWayEverywhere) {
  std::string longName(200, 'n');
  std::string cut(127, 'n');
  expectReplies("status_messages(add,move);add(" + longName + ",1,1,5,5)",
                {"<zone name=\"" + cut + "\" status=\"Created - (1,1)-(5,5)\">"});
  EXPECT_TRUE(controller.zoneExists(cut));
  std::vector<std::string> moved = run(longName + ".move(2,2)");
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_NE(moved[0].find("Moved - (2,2)-(5,5)"), std::string::npos);
  std::vector<std::string> unknown = run(std::string(300, 'u') + ".move(1,1)");
  EXPECT_EQ(unknown, std::vector<std::string>{"<error content=\"Invalid zone or grid name '" +
                                              std::string(127, 'u') + "'.\">"});
  // A long keyword is no keyword.
  expectReplies(std::string(500, 'k') + "(1)", {});
}

}  // namespace
}  // namespace tessary::testing
