// The handlers of the setting and query commands, and of the two
// watched-window commands.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "display/display_state.h"
#include "link/command_handlers.h"
#include "link/command_interpreter.h"
#include "link/command_source.h"
#include "link/lan_browser.h"
#include "link/reply_sender.h"
#include "link/window_locator.h"
#include "zones/video_controller.h"

namespace tessary {
namespace {

struct StatusOption {
  std::string_view word;
  std::uint16_t bits;
  bool set;
};

constexpr StatusOption kStatusOptions[] = {
    {"all", 0x1FF, true},          {"none", 0x1FF, false},
    {"move", 0x001, true},         {"no_move", 0x001, false},
    {"resize", 0x002, true},       {"no_resize", 0x002, false},
    {"movesize", 0x004, true},     {"no_movesize", 0x004, false},
    {"delete", 0x008, true},       {"no_delete", 0x008, false},
    {"add", 0x010, true},          {"no_add", 0x010, false},
    {"sensitivity", 0x020, true},  {"no_sensitivity", 0x020, false},
    {"threshold", 0x040, true},    {"no_threshold", 0x040, false},
    {"hit", 0x080, true},          {"no_hit", 0x080, false},
    {"motion", 0x100, true},       {"no_motion", 0x100, false},
};

// The longest LAN list that fits the reply buffer in either form: 258 bytes
// less the NUL and the frame of the XML form, <lan content="">.
constexpr std::size_t kLanContentLimit = 258 - 1 - 16;

std::int32_t saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

bool inColourRange(std::int32_t value) { return value >= 0 && value <= 255; }

}  // namespace

bool CommandHandlers::readTrueOrFalse(I& in, Args args, std::string_view errorText, bool& value) {
  std::string_view word = in.parameter(1, args);
  if (word != "true" && word != "false") {
    in.sendError(errorText);
    return false;
  }
  value = word == "true";
  return true;
}

bool CommandHandlers::readColour(I& in, Args args, std::string_view errorText, Rgb& colour) {
  Rgb given{parseInteger(in.parameter(1, args)), parseInteger(in.parameter(2, args)),
            parseInteger(in.parameter(3, args))};
  if (!inColourRange(given.red) || !inColourRange(given.green) || !inColourRange(given.blue)) {
    in.sendError(errorText);
    return false;
  }
  colour = given;
  return true;
}

bool CommandHandlers::watch(I& in, Args args) {
  bool on = false;
  if (!readTrueOrFalse(in, args, "watch: illegal parameter", on)) return false;
  if (!on) {
    in.display_.watchedWindow = 0;  // the render area keeps its last value
  } else if (in.windowLocator_ != nullptr) {
    in.display_.watchedWindow =
        in.windowLocator_->findClientWindow(in.source_.port(), in.display_.watchedWindow);
  }
  return true;
}

bool CommandHandlers::watchBorder(I& in, Args args) {
  if (!in.requireLogin()) return false;
  WatchBorders borders;
  borders.left = parseInteger(in.parameter(1, args));
  borders.top = parseInteger(in.parameter(2, args));
  borders.right = parseInteger(in.parameter(3, args));
  borders.bottom = parseInteger(in.parameter(4, args));
  in.display_.watchBorders = borders;
  return true;
}

bool CommandHandlers::flip(I& in, Args args) {
  if (!in.requireLogin()) return false;
  bool on = false;
  if (!readTrueOrFalse(in, args, "flip: illegal parameter", on)) return false;
  in.display_.overlayFlip = on;
  return true;
}

bool CommandHandlers::getFlip(I& in, Args) {
  if (!in.requireLogin()) return false;
  in.replies_.sendFlip(in.display_.overlayFlip);
  return true;
}

bool CommandHandlers::mirror(I& in, Args args) {
  if (!in.requireLogin()) return false;
  bool on = false;
  if (!readTrueOrFalse(in, args, "mirror: illegal parameter", on)) return false;
  in.display_.overlayMirror = on;
  return true;
}

bool CommandHandlers::getMirror(I& in, Args) {
  if (!in.requireLogin()) return false;
  in.replies_.sendMirror(in.display_.overlayMirror);
  return true;
}

void CommandHandlers::applyStatusOptions(I& in, Args args) {
  for (std::int32_t n = 1;; ++n) {
    std::string_view option = in.parameter(n, args);
    if (option.empty()) return;  // an empty parameter ends the list
    auto row = std::find_if(std::begin(kStatusOptions), std::end(kStatusOptions),
                            [option](const StatusOption& o) { return o.word == option; });
    if (row == std::end(kStatusOptions)) {
      in.sendError("status_messages: illegal parameter");
    } else if (row->set) {
      in.replies_.setStatusBits(row->bits);
    } else {
      in.replies_.clearStatusBits(row->bits);
    }
  }
}

bool CommandHandlers::statusMessages(I& in, Args args) {
  if (!in.requireLogin()) return false;
  if (in.parameter(1, args).empty()) {
    in.sendError("status_messages: illegal call, no parameters");
    return false;
  }
  applyStatusOptions(in, args);
  return true;
}

bool CommandHandlers::zoneMovement(I& in, Args args) {
  if (!in.requireLogin()) return false;
  bool on = false;
  if (!readTrueOrFalse(in, args, "zone_movement: illegal parameter", on)) return false;
  applyStatusOptions(in, on ? "move" : "no_move");
  return true;
}

bool CommandHandlers::motion(I& in, Args args) {
  if (!in.requireLogin()) return false;
  bool on = false;
  if (!readTrueOrFalse(in, args, "motion: illegal parameter", on)) return false;
  applyStatusOptions(in, on ? "motion" : "no_motion");
  return true;
}

bool CommandHandlers::reducedMotion(I& in, Args args) {
  if (!in.requireLogin()) return false;
  bool on = false;
  if (!readTrueOrFalse(in, args, "reduced_motion: illegal parameter", on)) return false;
  in.replies_.setReducedMotion(on);
  return true;
}

bool CommandHandlers::displaySize(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t width = parseInteger(in.parameter(1, args));
  std::int32_t height = parseInteger(in.parameter(2, args));
  // Zones keep the scale they were made with, so it may not change under them.
  if (in.controller_.zoneCount() != 0) {
    in.sendError("display_size: must be set before any zones are created");
    return false;
  }
  // A size of 0 or less would give an infinite or negative scale.
  if (width <= 0 || height <= 0) {
    in.sendError("display_size: width and height must be positive");
    return false;
  }
  return in.controller_.setScale(static_cast<float>(width), static_cast<float>(height));
}

bool CommandHandlers::renderArea(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int64_t x = parseInteger(in.parameter(1, args));
  std::int64_t y = parseInteger(in.parameter(2, args));
  std::int64_t width = parseInteger(in.parameter(3, args));
  std::int64_t height = parseInteger(in.parameter(4, args));
  DisplayState& display = in.display_;
  // Left and top stay as given; the overlay placement clips them.
  display.renderArea.left = static_cast<std::int32_t>(x);
  display.renderArea.top = static_cast<std::int32_t>(y);
  display.renderArea.right = saturate(std::min<std::int64_t>(x + width, display.screenWidth));
  display.renderArea.bottom = saturate(std::min<std::int64_t>(y + height, display.screenHeight));
  in.overlay_.overlayUpdatePosition();
  return true;
}

bool CommandHandlers::getRenderArea(I& in, Args) {
  if (!in.requireLogin()) return false;
  in.replies_.sendRenderArea(in.display_.renderArea);
  return true;
}

bool CommandHandlers::overlay(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::string_view value = in.parameter(1, args);
  if (value != "on" && value != "off") {
    in.sendError("Parameter to overlay() can only be 'on' or 'off'.");
    return false;
  }
  in.display_.overlayOn = value == "on";
  in.overlay_.overlayUpdatePosition();
  return true;
}

bool CommandHandlers::overlayColour(I& in, Args args) {
  if (!in.requireLogin()) return false;
  Rgb colour;
  if (!readColour(in, args, "Parameters to overlay_colour() must be in 0-255 range.", colour)) {
    return false;
  }
  in.display_.overlayColour = colour;
  in.overlay_.overlayUpdatePosition();
  return true;
}

bool CommandHandlers::blend(I& in, Args args) {
  if (!in.requireLogin()) return false;
  Rgb factors;
  if (!readColour(in, args, "Parameters to blend() must be in 0-255 range.", factors)) return false;
  in.display_.blendFactors = factors;  // read when the overlay is next filled
  return true;
}

bool CommandHandlers::setDataType(I& in, Args args) {
  std::string_view type = in.parameter(1, args);
  if (type == "xml") {
    in.replies_.selectXml();
  } else if (type == "commands") {
    in.replies_.selectScript();
  } else {
    in.sendError("set_data_type: illegal type");
    return false;
  }
  return true;
}

bool CommandHandlers::checkDataType(I& in, Args) {
  if (!in.requireLogin()) return false;
  in.replies_.sendDataType();
  return true;
}

bool CommandHandlers::sensitivity(I& in, Args args) {
  if (!in.requireLogin()) return false;
  in.controller_.setSensitivityDefault(parseInteger(in.parameter(1, args)));
  return true;
}

bool CommandHandlers::checkSensitivity(I& in, Args) {
  if (!in.requireLogin()) return false;
  in.replies_.sendSensitivity(in.controller_.sensitivityDefault());
  return true;
}

bool CommandHandlers::threshold(I& in, Args args) {
  if (!in.requireLogin()) return false;
  in.controller_.setThresholdDefault(parseInteger(in.parameter(1, args)));
  return true;
}

bool CommandHandlers::checkThreshold(I& in, Args) {
  if (!in.requireLogin()) return false;
  in.replies_.sendThreshold(in.controller_.thresholdDefault());
  return true;
}

bool CommandHandlers::getLan(I& in, Args) {
  if (!in.requireLogin()) return false;
  std::string list;
  if (in.lanBrowser_ != nullptr) {
    // Whole names only: a cut name would name a machine that does not exist.
    for (const std::string& name : in.lanBrowser_->names()) {
      std::size_t needed = name.size() + (list.empty() ? 0 : 1);
      if (list.size() + needed > kLanContentLimit) break;
      if (!list.empty()) list += ',';
      list += name;
    }
  }
  in.replies_.sendLan(list);
  return true;
}

}  // namespace tessary
