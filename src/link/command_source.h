// Where the command interpreter reads the client's command text from: the TCP
// link in the program, a scripted source in tests and fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessary {

class CommandSource {
 public:
  // Never waits. Fills `buffer` with what arrived, at most buffer.size() - 1
  // bytes, and returns the number of bytes read; 0 when nothing arrived or no
  // client is connected.
  virtual std::size_t receive(std::span<char> buffer) = 0;
  // The port the client connected to (the window search looks for it).
  virtual std::uint16_t port() const = 0;
  // Ends the client's connection as if it had gone (the reset runs as for a
  // client that leaves).
  virtual void disconnect() = 0;

 protected:
  ~CommandSource() = default;
};

}  // namespace tessary
