// Requests from outside to end the program: Ctrl+C, a service manager's stop,
// the console window closing. Each platform turns its own kind of request
// into a call of one callback.
#pragma once

#include <functional>

namespace tessary {

class TerminationRequests {
 public:
  // From now on every request calls `onRequest`, on a thread of the
  // platform's (never the caller's): the callback must only hand the request
  // to the event loop, which then ends the program in order.
  virtual void startDelivery(std::function<void()> onRequest) = 0;
  // Returns once `onRequest` is running no more and will not be called again.
  virtual void stopDelivery() = 0;
  virtual ~TerminationRequests() = default;
};

}  // namespace tessary
