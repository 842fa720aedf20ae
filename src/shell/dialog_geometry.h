// Where the shell's dialogs open: centred on the desktop, kept in the work area.
#pragma once

#include <optional>

namespace tessary {

struct ScreenBox {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct ScreenPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// The top-left corner for a dialog of `width` x `height`: centred on
// `desktop`, then pushed inside `workArea` (the whole desktop when unknown).
ScreenPoint centredDialogPosition(int width, int height, const ScreenBox& desktop,
                                  const std::optional<ScreenBox>& workArea);

}  // namespace tessary
