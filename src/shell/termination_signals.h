// The user's request to end the program from outside (Ctrl+C, a service
// manager's stop), delivered to the event loop as a readable handle.
#pragma once

namespace tessary {

class TerminationSignals {
 public:
  // A handle that becomes readable when a request arrives; -1 if none.
  virtual int readableHandle() const = 0;
  // Empties the handle after it became readable.
  virtual void acknowledge() = 0;
  virtual ~TerminationSignals() = default;
};

}  // namespace tessary
