// Where the reply sender's messages go: the TCP link in the program, anything
// that collects texts in tests and fuzz targets.
#pragma once

#include <string_view>

namespace tessary {

class MessageSink {
 public:
  // Sends `text` followed by one NUL; true when it was taken for sending.
  // Safe to call from several threads; each text goes out whole. Never waits
  // for the client.
  virtual bool send(std::string_view text) = 0;
  // Sends several texts at once: `texts` holds each text followed by its
  // NUL. Links override it to write them all with one send; this one sends
  // them one by one. True when all were taken.
  virtual bool sendBatch(std::string_view texts) {
    bool all = true;
    while (!texts.empty()) {
      const std::size_t end = texts.find('\0');
      if (end == std::string_view::npos) return send(texts) && all;
      all = send(texts.substr(0, end)) && all;
      texts.remove_prefix(end + 1);
    }
    return all;
  }

 protected:
  ~MessageSink() = default;
};

}  // namespace tessary
