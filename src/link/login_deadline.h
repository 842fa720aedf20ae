// The time a client has to log in once it holds the seat. Without it a
// client that never logs in, or guesses slowly, keeps every other client out
// for good, and on an open port anyone can do that without knowing the code.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "link/client_slot.h"

namespace tessary {

// The error a client gets, in its current form, before the deadline closes
// its connection.
inline constexpr std::string_view kLoginDeadlineText = "No login in time, disconnected.";

class LoginDeadline {
 public:
  // Longer than the longest wait between two paced logins (30 s).
  static constexpr std::chrono::seconds kDefaultTimeout{60};

  // `timeout` 0 or less: no deadline. `seat` must outlive this object.
  LoginDeadline(const ClientSlot& seat, std::chrono::milliseconds timeout)
      : seat_(seat), timeout_(timeout) {}

  // Main thread, once per tick, after the tick's commands. True, once per
  // turn at the seat, when the client holding the seat has held it for the
  // timeout and has not logged in during that time; whatever it sent does
  // not count. The caller then ends the client's connection.
  bool passed(bool loggedIn,
              std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

 private:
  const ClientSlot& seat_;
  std::chrono::milliseconds timeout_;
  std::uint64_t settledTurn_ = 0;  // the last turn that logged in or was ended
};

}  // namespace tessary
