#include "link/login_throttle.h"

#include <algorithm>

namespace tessary {

std::uint32_t LoginThrottle::delayMilliseconds() const {
  // How many wrong logins beyond the free ones: 0 gives the first delay.
  const std::int32_t beyond = std::max(clientFailures_ - kFreeTriesPerClient,
                                       processFailures_ - kFreeTriesPerProcess);
  if (beyond < 0) return 0;
  // 1 s doubled five times is past the longest delay already.
  const std::uint32_t delay = kFirstDelayMilliseconds << std::min(beyond, 5);
  return std::min(delay, kLongestDelayMilliseconds);
}

bool LoginThrottle::mayEvaluate() {
  const std::uint32_t delay = delayMilliseconds();
  // Unsigned difference: right across the 32-bit counter's wrap.
  return delay == 0 || clock_.nowMilliseconds() - lastAnswerAt_ >= delay;
}

void LoginThrottle::recordAnswer(bool correct) {
  lastAnswerAt_ = clock_.nowMilliseconds();
  if (correct) {
    clientFailures_ = 0;
    processFailures_ = 0;
    return;
  }
  // Capped so the counts never overflow, however long the guessing goes on.
  clientFailures_ = std::min(clientFailures_ + 1, 1000);
  processFailures_ = std::min(processFailures_ + 1, 1000);
}

bool codeMatches(std::string_view stored, std::string_view guess) {
  // Every byte of the guess is looked at and folded into one difference, so
  // the time taken never tells how much of the guess was right.
  std::size_t difference = stored.size() ^ guess.size();
  for (std::size_t i = 0; i < guess.size(); ++i) {
    const auto storedByte = i < stored.size() ? static_cast<unsigned char>(stored[i]) : 0u;
    difference |= storedByte ^ static_cast<unsigned char>(guess[i]);
  }
  return difference == 0;
}

}  // namespace tessary
