// Texts for transports that carry UTF-8 only (WebSocket text frames, JSON):
// the protocol's texts are 8-bit and may hold any byte, e.g. a name cut in
// the middle of a multi-byte character.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

// Appends `text` to `out` with every byte that is not part of a well-formed
// UTF-8 sequence replaced by U+FFFD, so the result is always valid UTF-8.
void appendValidUtf8(std::string& out, std::string_view text);

}  // namespace tessary
