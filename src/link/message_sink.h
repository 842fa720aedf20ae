// Where the reply sender's messages go: the TCP link in the program, anything
// that collects texts in tests and fuzz targets.
#pragma once

#include <string_view>

namespace tessary {

class MessageSink {
 public:
  // Sends `text` followed by one NUL; true when the whole of it went out.
  // Safe to call from several threads; each text goes out whole.
  virtual bool send(std::string_view text) = 0;

 protected:
  ~MessageSink() = default;
};

}  // namespace tessary
