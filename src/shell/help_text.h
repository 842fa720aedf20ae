// The quick reference of the command language shown by the Help dialog.
#pragma once

#include <string_view>

namespace tessary {

std::string_view helpText();

}  // namespace tessary
