// The examples of docs/protocol.md, checked against the program so the
// reference cannot drift from what Tessary does: its sessions are played and
// answered, its table of parameter counts matches the keyword tables, and
// its framing snippets talk to the program.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <map>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "link/command_interpreter.h"
#include "shell/program_under_test.h"
#include "support/child_process.h"
#include "support/outside_programs.h"
#include "support/test_client.h"

namespace tessary {
namespace {

using namespace tessary::testing;

struct FencedBlock {
  std::string info;  // the word after the opening fence
  std::vector<std::string> lines;
};

std::vector<FencedBlock> fencedBlocks(const std::string& markdown) {
  std::vector<FencedBlock> blocks;
  std::istringstream lines(markdown);
  bool inside = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("```")) {
      if (!inside) blocks.push_back({line.substr(3), {}});
      inside = !inside;
    } else if (inside) {
      blocks.back().lines.push_back(line);
    }
  }
  return blocks;
}

std::vector<FencedBlock> blocksOf(const std::string& info) {
  std::vector<FencedBlock> found;
  for (FencedBlock& block : fencedBlocks(readFile(TESSARY_PROTOCOL_DOC))) {
    if (block.info == info) found.push_back(std::move(block));
  }
  return found;
}

// Events come whenever the camera sees motion; a session lists some of them.
bool isEvent(const std::string& message) {
  static const std::regex event(R"((\w+\.hit\(\);)|(\w+\.motion\(\d+\);)|(<hit name=".*">)|(<motion name=".*">))");
  return std::regex_match(message, event);
}

// A motion amount in a session is an example of one.
std::string withoutAmounts(const std::string& message) {
  static const std::regex amount(R"(motion\(\d+\)|amount="\d+")");
  return std::regex_replace(message, amount, "motion amount");
}

class ProtocolDocTest : public ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    port_ = startProgram(server_, {"--headless", "--camera", "demo", "--port", "0", "--listen", "127.0.0.1",
                                   "--web-port", "0", "--code-file", codeFile_},
                         environment());
    ASSERT_NE(port_, 0u);
  }
  void TearDown() override {
    EXPECT_EQ(endProgram(server_, environment()), 0) << server_.errorOutput();
  }

  ChildProcess server_;
  unsigned port_ = 0;
};

TEST_F(ProtocolDocTest, SessionsAreWhatTheProgramAnswers) {
  const std::vector<FencedBlock> sessions = blocksOf("session");
  ASSERT_GE(sessions.size(), 2u);
  for (const FencedBlock& session : sessions) {
    TestClient client;
    ASSERT_TRUE(client.connect(port_));
    for (const std::string& line : session.lines) {
      ASSERT_TRUE(line.starts_with("-> ") || line.starts_with("<- ")) << line;
      const std::string text = line.substr(3);
      if (line.starts_with("-> ")) {
        ASSERT_TRUE(client.send(text));
        continue;
      }
      // The next message that is not an unlisted event must be this one.
      for (;;) {
        const std::optional<std::string> message = client.nextText(5s);
        ASSERT_TRUE(message) << "no answer for: " << line;
        if (withoutAmounts(*message) == withoutAmounts(text)) break;
        ASSERT_TRUE(isEvent(*message)) << "expected " << text << "\n     got " << *message;
      }
    }
  }
}

// The table of parameter counts lists every keyword and method once, with
// the count the interpreter checks.
// The rows of the first `count` tables after `marker`, each row's cells.
std::vector<std::vector<std::vector<std::string>>> tablesAfter(const std::string& doc,
                                                                const std::string& marker, std::size_t count) {
  std::vector<std::vector<std::vector<std::string>>> tables;
  std::istringstream lines(doc.substr(std::min(doc.find(marker), doc.size())));
  bool inTable = false;
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("|")) {
      if (inTable && tables.size() == count) break;
      inTable = false;
      continue;
    }
    if (!inTable) tables.emplace_back();
    inTable = true;
    std::vector<std::string> cells;
    std::istringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    tables.back().push_back(std::move(cells));
  }
  return tables;
}

std::vector<std::string> quotedNames(const std::string& cell) {
  static const std::regex name("`(\\w+)`");
  std::vector<std::string> found;
  for (std::sregex_iterator it(cell.begin(), cell.end(), name), end; it != end; ++it) found.push_back((*it)[1]);
  return found;
}

std::map<std::string, int> countsOf(std::span<const KeywordEntry> table) {
  std::map<std::string, int> counts;
  for (const KeywordEntry& entry : table) {
    if (!entry.keyword.empty()) counts[std::string(entry.keyword)] = entry.parameterCount;
  }
  return counts;
}

// The tables of parameter counts list every keyword and method once, with
// the count the interpreter checks.
TEST(ProtocolDocCountsTest, ParameterCountsMatchTheKeywordTables) {
  const auto tables = tablesAfter(readFile(TESSARY_PROTOCOL_DOC), "<!-- parameter counts", 2);
  ASSERT_EQ(tables.size(), 2u);
  std::map<std::string, int> commands, zoneMethods, gridMethods;
  for (std::size_t t = 0; t < 2; ++t) {
    for (const std::vector<std::string>& cells : tables[t]) {
      if (cells.size() < 2 || cells[0].find_first_of("0123456789") == std::string::npos) {
        if (cells[0].find("any") == std::string::npos) continue;  // the heading and rule rows
      }
      const int count = cells[0].find("any") != std::string::npos ? -1 : std::stoi(cells[0]);
      for (const std::string& name : quotedNames(cells[1])) (t == 0 ? commands : zoneMethods)[name] = count;
      if (t == 1 && cells.size() > 2) {
        for (const std::string& name : quotedNames(cells[2])) gridMethods[name] = count;
      }
    }
  }
  EXPECT_EQ(commands, countsOf(commandTable()));
  EXPECT_EQ(zoneMethods, countsOf(zoneMethodTable()));
  EXPECT_EQ(gridMethods, countsOf(gridMethodTable()));
}

// The framing snippets, run as they stand.
TEST_F(ProtocolDocTest, FramingSnippetsTalkToTheProgram) {
  const std::string missing = missingPrograms({"python3", "node"});
  ASSERT_TRUE(missing.empty()) << missing;
  for (const auto& [info, interpreter, file] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"python", programPath("python3"), "framing.py"}, {"javascript", programPath("node"), "framing.js"}}) {
    const std::vector<FencedBlock> blocks = blocksOf(info);
    ASSERT_EQ(blocks.size(), 1u) << info;
    std::string program;
    for (const std::string& line : blocks[0].lines) program += line + "\n";
    ASSERT_TRUE(writeFile(files_.file(file), program));
    ChildProcess snippet;
    ASSERT_TRUE(snippet.start({interpreter, files_.file(file), std::to_string(port_), "s3cret"}));
    EXPECT_EQ(snippet.readLine(10s), "<login status=\"successful\">") << info << ": " << snippet.errorOutput();
    EXPECT_EQ(snippet.readLine(10s), "data=commands") << info;
    EXPECT_EQ(snippet.wait(10s), 0) << info << ": " << snippet.errorOutput();
  }
}

}  // namespace
}  // namespace tessary
