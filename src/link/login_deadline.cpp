#include "link/login_deadline.h"

namespace tessary {

bool LoginDeadline::passed(bool loggedIn, std::chrono::steady_clock::time_point now) {
  if (timeout_.count() <= 0) return false;
  const SeatTurn turn = seat_.turn();
  if (turn.holder == ClientKind::kNone || turn.number == settledTurn_) return false;
  // The previous client is logged out before the seat passes on, so a login
  // seen here is this client's own; once it has logged in, it keeps the seat.
  if (loggedIn || now - turn.since < timeout_) {
    if (loggedIn) settledTurn_ = turn.number;
    return false;
  }
  settledTurn_ = turn.number;
  return true;
}

}  // namespace tessary
