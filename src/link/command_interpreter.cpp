#include "link/command_interpreter.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "link/command_handlers.h"
#include "link/command_source.h"
#include "link/identification.h"
#include "link/reply_sender.h"
#include "zones/video_controller.h"

namespace tessary {
namespace {

const KeywordEntry* findKeyword(std::span<const KeywordEntry> table, std::string_view name) {
  for (const KeywordEntry& entry : table) {
    if (entry.keyword == name) return &entry;
  }
  return nullptr;
}

}  // namespace

CommandInterpreter::CommandInterpreter(CommandSource& source, VideoController& controller,
                                       ReplySender& replies, DisplayState& display,
                                       OverlayControl& overlay, CommandOptions options)
    : source_(source),
      controller_(controller),
      replies_(replies),
      display_(display),
      overlay_(overlay),
      windowLocator_(options.windowLocator),
      lanBrowser_(options.lanBrowser),
      codeFile_(std::move(options.codeFilePath), std::move(options.fallbackCodeFilePath)),
      loginThrottle_(options.clock != nullptr ? *options.clock
                                              : SteadyMillisecondClock::instance()) {
  heldBack_.reserve(kReceiveBufferSize);
}

void CommandInterpreter::poll() {
  if (loginHeldBack() && loginThrottle_.mayEvaluate()) runHeldBack();
  std::size_t length = source_.receive(receiveBuffer_);
  if (length > receiveBuffer_.size()) length = receiveBuffer_.size();
  executeBlock(std::string_view(receiveBuffer_.data(), length));
}

void CommandInterpreter::runHeldBack() {
  // The held-back text is executed from a copy of its own, since a later
  // login in it may have to wait again.
  std::string waiting = std::move(heldBack_);
  heldBack_.clear();
  executeBlock(waiting);
  if (heldBack_.capacity() < kReceiveBufferSize) heldBack_.reserve(kReceiveBufferSize);
}

void CommandInterpreter::executeBlock(std::string_view block) {
  if (loginHeldBack()) {
    if (block.empty()) return;
    if (heldBack_.size() + block.size() + 1 > kHeldBackLimit) {
      // The reset this runs drops what was held back (logOut).
      source_.disconnect();
      return;
    }
    // Behind the waiting login, as texts of their own.
    heldBack_.push_back('\0');
    heldBack_.append(block);
    return;
  }
  // NULs divide the block into texts, the last one ending with the block;
  // ";" divides a text into statements, a final ";" being optional and ";;"
  // making an empty statement. The position is kept so that the rest of the
  // block can wait behind a login.
  std::size_t textStart = 0;
  while (textStart < block.size()) {
    std::size_t textEnd = block.find('\0', textStart);
    if (textEnd == std::string_view::npos) textEnd = block.size();
    const std::string_view throughText = block.substr(0, textEnd);
    std::size_t statementStart = textStart;
    while (statementStart < textEnd) {
      std::size_t statementEnd = throughText.find(';', statementStart);
      if (statementEnd == std::string_view::npos) statementEnd = textEnd;
      const std::string_view statement =
          block.substr(statementStart, statementEnd - statementStart);
      if (mustHoldBack(statement)) {
        heldBack_.assign(block.substr(statementStart));
        return;
      }
      executeStatement(statement);
      statementStart = statementEnd + 1;
    }
    textStart = textEnd + 1;
  }
}

bool CommandInterpreter::mustHoldBack(std::string_view statement) {
  const ParsedStatement parsed = parseStatement(statement);
  // Only a login that would compare a code counts; a malformed one is
  // refused at once like any other statement.
  if (parsed.form != StatementForm::kGlobal || parsed.name != "login" ||
      parameterCount(parsed.arguments) != 1) {
    return false;
  }
  return !loginThrottle_.mayEvaluate();
}

bool CommandInterpreter::executeKnownStatement(std::string_view statement) {
  const ParsedStatement parsed = parseStatement(statement);
  if (parsed.form == StatementForm::kGlobal &&
      findKeyword(commandTable(), FixedText<kNameCapacity>(parsed.name).view()) == nullptr) {
    return false;
  }
  executeStatement(statement);
  return true;
}

void CommandInterpreter::executeStatement(std::string_view statement) {
  ParsedStatement parsed = parseStatement(statement);
  switch (parsed.form) {
    case StatementForm::kInvalid:
      sendErrorFormat("Error in command '%.*s'.", static_cast<int>(statement.size()),
                      statement.data());
      return;
    case StatementForm::kGlobal: {
      FixedText<kNameCapacity> keyword(parsed.name);
      if (const KeywordEntry* entry = findKeyword(commandTable(), keyword.view())) {
        dispatch(*entry, keyword.view(), parsed.arguments, false);
      }
      return;
    }
    case StatementForm::kMethod:
      executeMethodCall(parsed);
      return;
  }
}

void CommandInterpreter::executeMethodCall(const ParsedStatement& parsed) {
  objectName_.assign(parsed.name);
  std::span<const KeywordEntry> table;
  // A zone shadows a grid of the same name.
  if (controller_.zoneExists(objectName_.view())) {
    table = zoneMethodTable();
  } else if (controller_.gridExists(objectName_.view())) {
    table = gridMethodTable();
  } else {
    sendErrorFormat("Invalid zone or grid name '%s'.", objectName_.c_str());
    return;
  }
  if (!parsed.hasMethod) return;
  FixedText<kNameCapacity> method(parsed.method);
  if (const KeywordEntry* entry = findKeyword(table, method.view())) {
    dispatch(*entry, method.view(), parsed.arguments, true);
  }
}

void CommandInterpreter::dispatch(const KeywordEntry& entry, std::string_view name,
                                  std::string_view arguments, bool alwaysCheckCount) {
  bool checked = alwaysCheckCount || entry.parameterCount >= 0;
  if (checked && entry.parameterCount != parameterCount(arguments)) {
    sendErrorFormat("%.*s : Wrong number of parameters.", static_cast<int>(name.size()),
                    name.data());
    return;
  }
  entry.handler(*this, arguments);
}

std::string_view CommandInterpreter::parameter(std::int32_t n, std::string_view arguments) {
  parameterBuffer_.assign(parameterAt(n, arguments));
  return parameterBuffer_.view();
}

void CommandInterpreter::logOut() {
  heldBack_.clear();
  loginThrottle_.newClient();
  setLoggedIn(false);
}

void CommandInterpreter::setLoggedIn(bool loggedIn) {
  loggedIn_ = loggedIn;
  if (loginChanged_) loginChanged_();
}

bool CommandInterpreter::requireLogin() {
  if (loggedIn_) return true;
  sendError("Command unavailable, please login.");
  return false;
}

void CommandInterpreter::sendError(std::string_view text) {
  message_.assign(text);
  replies_.sendError(message_.view());
}

void CommandInterpreter::sendErrorFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  auto buffer = message_.buffer();
  int written = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  if (written < 0) message_.clear();
  replies_.sendError(message_.view());
}

bool CommandHandlers::whoAreYou(I& in, Args) {
  std::string_view identity = identificationText();
  std::string_view created = keyCreatedText();
  formatText(in.message_.buffer(), "%.*s\nKey created : %.*s", static_cast<int>(identity.size()),
             identity.data(), static_cast<int>(created.size()), created.data());
  in.replies_.sendString(in.message_.view());
  return true;
}

bool CommandHandlers::login(I& in, Args args) {
  std::string code;
  LoginCodeFile::ReadResult result = in.codeFile_.read(code);
  if (result == LoginCodeFile::ReadResult::kCannotOpen) {
    in.sendError("No login data. Enter code via Tessary.");
    in.setLoggedIn(false);
    return false;
  }
  // The whole argument text counts, leading blanks included.
  bool matches = result == LoginCodeFile::ReadResult::kRead && codeMatches(code, args);
  in.loginThrottle_.recordAnswer(matches);
  in.replies_.sendLogin(matches);
  in.setLoggedIn(matches);
  return matches;
}

}  // namespace tessary
