#include "link/identification.h"

#ifndef TESSARY_VERSION
#define TESSARY_VERSION "unknown"
#endif

namespace tessary {

std::string_view identificationText() {
  return "Tessary " TESSARY_VERSION
         "\nTurns a webcam into motion-sensitive zones for a client program.";
}

std::string_view keyCreatedText() { return "Sun Dec  6 07:00:00 2026\n"; }

}  // namespace tessary
