// Test support: the outside programs a test runs (Xvfb, xdotool, import, a
// browser...) are installed by tools/install-deps.sh from the list in
// tools/outside-programs.txt. A test checks for them before it starts and,
// when one is missing, fails with one line naming it and its package.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tessary::testing {

// Empty when every program is found on PATH; otherwise one line per missing
// program: "needs import, from Debian's imagemagick-6.q16 (tools/install-deps.sh installs it)".
std::string missingPrograms(std::initializer_list<std::string_view> programs);

// Where `program` is found on PATH, empty when it is not.
std::string programPath(std::string_view program);

}  // namespace tessary::testing
