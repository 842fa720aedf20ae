// Slows down the guessing of the login code. A fresh client may get the code
// wrong three times at once; from then on each further "login" is evaluated
// only after a delay that doubles, 1 s, 2 s, 4 s ... up to 30 s, counted from
// the previous login's answer. Reconnecting does not start the guessing
// afresh: the process also counts wrong logins across clients, and after ten
// of them without a correct one the same doubling applies to every client's
// logins. A correct login clears both counts.
//
// Main thread only (the interpreter's). Never waits: the interpreter asks
// whether a login may be evaluated now and holds it back until it may.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/millisecond_clock.h"

namespace tessary {

class LoginThrottle {
 public:
  static constexpr std::int32_t kFreeTriesPerClient = 3;
  static constexpr std::int32_t kFreeTriesPerProcess = 10;
  static constexpr std::uint32_t kFirstDelayMilliseconds = 1000;
  static constexpr std::uint32_t kLongestDelayMilliseconds = 30000;

  explicit LoginThrottle(MillisecondClock& clock) : clock_(clock) {}

  // Whether a login may be evaluated now.
  bool mayEvaluate();
  // The wait before the next login, counted from the previous answer.
  std::uint32_t delayMilliseconds() const;
  // An evaluated login was answered.
  void recordAnswer(bool correct);
  // A new client: its own count starts again; the process's does not.
  void newClient() { clientFailures_ = 0; }

 private:
  MillisecondClock& clock_;
  std::int32_t clientFailures_ = 0;
  std::int32_t processFailures_ = 0;
  std::uint32_t lastAnswerAt_ = 0;
};

// Compares a guess with the stored code in a time that does not depend on
// where (or whether) they differ, only on the guess's length.
bool codeMatches(std::string_view stored, std::string_view guess);

}  // namespace tessary
