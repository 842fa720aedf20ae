// The command interpreter: reads the client's command text once per frame
// tick, cuts it into statements and runs each through the keyword tables.
//
// Main thread only. The handlers share the parameter buffer, the object name
// and the message text, which is safe because no handler is ever re-entered.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/fixed_text.h"
#include "common/member_callback.h"
#include "link/command_syntax.h"
#include "link/login_code_file.h"
#include "link/login_throttle.h"

namespace tessary {

class CommandInterpreter;
class CommandSource;
class LanBrowser;
class OverlayControl;
class ReplySender;
class VideoController;
class WindowLocator;
struct DisplayState;

// Every handler receives the interpreter and the argument text; the
// dispatcher ignores the result, which says whether the command took effect.
using CommandHandler = bool (*)(CommandInterpreter& interpreter, std::string_view arguments);

struct KeywordEntry {
  std::string_view keyword;  // compared exactly, case-sensitive
  CommandHandler handler = nullptr;
  std::int32_t parameterCount = 0;  // -1: any number, not checked
};

// The three keyword tables, in lookup order; the first matching row wins.
std::span<const KeywordEntry> commandTable();
std::span<const KeywordEntry> zoneMethodTable();
std::span<const KeywordEntry> gridMethodTable();

// The platform services of the interpreter. They must outlive it; either may
// be null (then "watch(true)" finds nothing and "get_lan" answers an empty
// list).
struct CommandOptions {
  WindowLocator* windowLocator = nullptr;
  const LanBrowser* lanBrowser = nullptr;
  std::string codeFilePath = LoginCodeFile::defaultPath();
  // The clock that paces wrong logins; null: the steady clock.
  MillisecondClock* clock = nullptr;
  // Read instead while the code file does not exist (an earlier release's place).
  std::string fallbackCodeFilePath;
};

class CommandInterpreter {
 public:
  static constexpr std::size_t kReceiveBufferSize = 2048;
  static constexpr std::size_t kMessageCapacity = 515;
  // What a client may send while a login of its waits; a client that sends
  // more is flooding and is disconnected.
  static constexpr std::size_t kHeldBackLimit = 64 * 1024;

  CommandInterpreter(CommandSource& source, VideoController& controller, ReplySender& replies,
                     DisplayState& display, OverlayControl& overlay, CommandOptions options = {});
  CommandInterpreter(const CommandInterpreter&) = delete;
  CommandInterpreter& operator=(const CommandInterpreter&) = delete;

  // Reads once from the source and executes every statement that arrived.
  // A login held back by the LoginThrottle waits for its time, and every
  // statement after it waits with it, in order; reading goes on meanwhile,
  // so a client that leaves is noticed at once.
  void poll();
  // Executes one received block: its NUL-separated texts, each cut into
  // statements at ";", in order. Behind a held-back login, the block waits
  // with it (up to kHeldBackLimit; beyond, the client is disconnected).
  void executeBlock(std::string_view block);
  // Executes one statement of the zones file; false, doing nothing, when it
  // names no command (which a client on the wire never hears about).
  bool executeKnownStatement(std::string_view statement);
  // Whether a login and the statements after it are being held back.
  bool loginHeldBack() const { return !heldBack_.empty(); }

  // Parameter `n` (from 1) of `arguments`, copied into the shared parameter
  // buffer and cut to fit it; valid until the next call.
  std::string_view parameter(std::int32_t n, std::string_view arguments);

  bool isLoggedIn() const { return loggedIn_; }
  // The zones file is the client of an installation: logged in without a code.
  void logInWithoutCode() { setLoggedIn(true); }
  // Called by the link when the client goes away: also drops what was held
  // back for that client, and the next client gets its own free logins.
  void logOut();
  // Called after every change of the login state (the tray tip shows it).
  void setLoginChanged(MemberCallback<> callback) { loginChanged_ = callback; }

  // The zone or grid named by the method call being executed.
  std::string_view objectName() const { return objectName_.view(); }
  const std::string& codeFilePath() const { return codeFile_.path(); }

 private:
  friend class CommandHandlers;

  // True when `statement` is a login that must wait for its turn.
  bool mustHoldBack(std::string_view statement);
  void runHeldBack();
  void executeStatement(std::string_view statement);
  void executeMethodCall(const ParsedStatement& parsed);
  void dispatch(const KeywordEntry& entry, std::string_view name, std::string_view arguments,
                bool alwaysCheckCount);

  // Sends "Command unavailable, please login." and answers false while the
  // client is not logged in.
  bool requireLogin();
  void sendError(std::string_view text);
  // Formats an error into the message text, cut to fit, and sends it.
  void sendErrorFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void setLoggedIn(bool loggedIn);

  CommandSource& source_;
  VideoController& controller_;
  ReplySender& replies_;
  DisplayState& display_;
  OverlayControl& overlay_;
  WindowLocator* windowLocator_;
  const LanBrowser* lanBrowser_;
  LoginCodeFile codeFile_;
  LoginThrottle loginThrottle_;
  MemberCallback<> loginChanged_;
  // The rest of a block from a held-back login on, NULs included.
  std::string heldBack_;

  std::array<char, kReceiveBufferSize> receiveBuffer_{};
  FixedText<kNameCapacity> objectName_;
  bool loggedIn_ = false;
  FixedText<kMessageCapacity> message_;
  FixedText<kNameCapacity> parameterBuffer_;
};

}  // namespace tessary
