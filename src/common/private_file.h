// Writing a file only its owner may read, for secrets such as the login code.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

// Replaces the file's contents with exactly `bytes`. A new file is created
// readable and writable by its owner only, and an existing regular file is
// narrowed to that before anything is written, so the secret is never
// readable by others, not even for a moment. False when the file cannot be
// opened, written or closed completely (a full disk shows up here).
bool writePrivateFile(const std::string& path, std::string_view bytes);

}  // namespace tessary
