#include "common/trace.h"

#include <cstdio>
#include <cstring>

namespace tessary {

void traceDebug(std::string_view message) {
  char line[1024];
  std::size_t length = message.size() < sizeof(line) - 1 ? message.size() : sizeof(line) - 1;
  std::memcpy(line, message.data(), length);
  line[length++] = '\n';
  // One locked stream write per line keeps concurrent traces whole.
  std::fwrite(line, 1, length, stderr);
  std::fflush(stderr);
}

}  // namespace tessary
