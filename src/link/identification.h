// What the program says about itself in answer to "whoareyou".
#pragma once

#include <string_view>

namespace tessary {

// The program name, version and a line on what it does.
std::string_view identificationText();

// When the identification key was created, in the runtime library's
// time-stamp form (which ends in a line feed).
std::string_view keyCreatedText();

}  // namespace tessary
