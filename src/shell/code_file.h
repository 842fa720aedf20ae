// Writing the login code file, as "Enter New Code" and --set-code do.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <string_view>

namespace tessary {

// Replaces the file's contents with exactly the bytes of `code`: no
// terminator, no line end. With `createParent`, a missing parent folder is
// created first (the default file lives in a folder a fresh account may lack).
// The file is left readable and writable by its owner only.
// False when the file cannot be opened, written or closed completely.
bool writeCodeFile(const std::string& path, std::string_view code, bool createParent);

// "Cannot open PATH for writing.", the text of the "Error" message box.
std::string codeFileErrorText(std::string_view path);

// One line of `input` without its line end ("\n" or "\r\n"); nothing when the
// input ends before any byte, so an empty stream never clears the code.
std::optional<std::string> readCodeLine(std::istream& input);

}  // namespace tessary
