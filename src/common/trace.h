// Diagnostic traces for developers; on Linux they go to standard error.
#pragma once

#include <string_view>

namespace tessary {

// Writes one line (a newline is added) in a single write, so lines from
// different threads never interleave.
void traceDebug(std::string_view message);

}  // namespace tessary
