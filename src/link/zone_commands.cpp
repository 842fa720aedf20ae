// The handlers of the zone and grid commands and methods.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/frame.h"
#include "link/command_handlers.h"
#include "link/command_interpreter.h"
#include "link/reply_sender.h"
#include "zones/video_controller.h"

namespace tessary {
namespace {

using Name = FixedText<kNameCapacity>;

// As many cells as the camera frame has pixels: finer cells see nothing.
constexpr std::int32_t kMaxGridCells = kFrameWidth * kFrameHeight;

// The names of the cell zones of `grid`, in creation order.
std::vector<std::string> gridCells(VideoController& controller, std::string_view grid) {
  GridRecord record;
  controller.copyGridRecord(grid, record);
  return std::move(record.cellNames);
}

}  // namespace

bool CommandHandlers::pauseMilliseconds(I& in, double seconds, std::uint32_t& milliseconds) {
  if (std::isnan(seconds) || seconds < 0) {
    in.sendError("pause: illegal parameter");
    return false;
  }
  constexpr double kLongest = std::numeric_limits<std::uint32_t>::max();
  milliseconds = static_cast<std::uint32_t>(std::min(std::trunc(seconds * 1000.0), kLongest));
  return true;
}

bool CommandHandlers::add(I& in, Args args) {
  if (!in.requireLogin()) return false;
  Name name(in.parameter(1, args));
  std::int32_t x = parseInteger(in.parameter(2, args));
  std::int32_t y = parseInteger(in.parameter(3, args));
  std::int32_t width = parseInteger(in.parameter(4, args));
  std::int32_t height = parseInteger(in.parameter(5, args));
  if (in.controller_.zoneExists(name.view())) {
    in.sendErrorFormat("Duplicate zone name '%s'.", name.c_str());
    return false;
  }
  in.controller_.addZone(name.view(), x, y, width, height);
  in.replies_.sendZoneStatus(kStatusAdd, name.view());
  return true;
}

bool CommandHandlers::grid(I& in, Args args) {
  if (!in.requireLogin()) return false;
  Name name(in.parameter(1, args));
  std::int32_t x = parseInteger(in.parameter(2, args));
  std::int32_t y = parseInteger(in.parameter(3, args));
  std::int32_t width = parseInteger(in.parameter(4, args));
  std::int32_t height = parseInteger(in.parameter(5, args));
  std::int32_t columns = parseInteger(in.parameter(6, args));
  std::int32_t rows = parseInteger(in.parameter(7, args));
  if (in.controller_.gridExists(name.view())) {
    in.sendErrorFormat("Duplicate grid name '%s'.", name.c_str());
    return false;
  }
  if (columns == 0 || rows == 0) {
    in.sendError("Subdivisions cannot be zero.");
    return false;
  }
  // A negative count would create nothing and say nothing.
  if (columns < 0 || rows < 0) {
    in.sendError("Subdivisions must be positive.");
    return false;
  }
  // One statement must not be able to ask for billions of zones.
  if (std::int64_t{columns} * rows > kMaxGridCells) {
    in.sendErrorFormat("Too many subdivisions: a grid has at most %d cells.", kMaxGridCells);
    return false;
  }
  if (in.controller_.createGrid(name.view(), x, y, width, height, columns, rows)) {
    in.sendError("Width/Height/Subdivisions don't match exactly, grid truncated.");
  }
  in.replies_.sendGridStatus(kStatusAdd, name.view());
  return true;
}

bool CommandHandlers::checkZone(I& in, Args args) {
  if (!in.requireLogin()) return false;
  Name name(in.parameter(1, args));
  in.replies_.sendZoneDescription(name.view());
  return true;
}

// Zone methods: the zone is the object of the call.

bool CommandHandlers::zoneDelete(I& in, Args) {
  if (!in.requireLogin()) return false;
  Name name(in.objectName());
  // The message must still find the zone under its name, reporting "Deleted";
  // only then does the name become free.
  in.controller_.deleteZone(name.view());
  in.replies_.sendZoneStatus(kStatusDelete, name.view());
  in.controller_.markZoneDeleted(name.view());
  return true;
}

bool CommandHandlers::zoneMove(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t x = parseInteger(in.parameter(1, args));
  std::int32_t y = parseInteger(in.parameter(2, args));
  in.controller_.moveZone(in.objectName(), x, y);
  in.replies_.sendZoneStatus(kStatusMove, in.objectName());
  return true;
}

bool CommandHandlers::zoneResize(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t width = parseInteger(in.parameter(1, args));
  std::int32_t height = parseInteger(in.parameter(2, args));
  in.controller_.resizeZone(in.objectName(), width, height);
  in.replies_.sendZoneStatus(kStatusResize, in.objectName());
  return true;
}

bool CommandHandlers::zoneMoveSize(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t x = parseInteger(in.parameter(1, args));
  std::int32_t y = parseInteger(in.parameter(2, args));
  std::int32_t width = parseInteger(in.parameter(3, args));
  std::int32_t height = parseInteger(in.parameter(4, args));
  in.controller_.moveSizeZone(in.objectName(), x, y, width, height);
  in.replies_.sendZoneStatus(kStatusMoveSize, in.objectName());
  return true;
}

bool CommandHandlers::zoneSensitivity(I& in, Args args) {
  if (!in.requireLogin()) return false;
  in.controller_.setZoneSensitivity(in.objectName(), parseInteger(in.parameter(1, args)));
  return true;
}

bool CommandHandlers::zoneThreshold(I& in, Args args) {
  if (!in.requireLogin()) return false;
  in.controller_.setZoneThreshold(in.objectName(), parseInteger(in.parameter(1, args)));
  return true;
}

bool CommandHandlers::zoneDuplicate(I& in, Args args) {
  if (!in.requireLogin()) return false;
  Name copyName(in.parameter(1, args));
  ZoneRecord record;
  in.controller_.copyZoneRecord(in.objectName(), record);
  // The copy takes the current defaults, not the original's tuning.
  in.controller_.addZone(copyName.view(), record.x, record.y, record.width, record.height);
  in.replies_.sendZoneStatus(kStatusAdd, copyName.view());
  return true;
}

bool CommandHandlers::zonePause(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::uint32_t milliseconds = 0;
  if (!pauseMilliseconds(in, parseReal(in.parameter(1, args)), milliseconds)) return false;
  in.controller_.pauseZone(in.objectName(), milliseconds);
  // Decided on the whole milliseconds: a pause too short to count must not
  // leave the zone inactive with no countdown to wake it.
  in.controller_.setZoneActive(in.objectName(), milliseconds == 0);
  return true;
}

bool CommandHandlers::zoneActivate(I& in, Args args) {
  if (!in.requireLogin()) return false;
  bool active = false;
  if (!readTrueOrFalse(in, args, "activate: illegal parameter", active)) return false;
  in.controller_.setZoneActive(in.objectName(), active);
  return true;
}

// Grid methods: each applies to all of the grid's cell zones; cells that no
// longer name a zone are skipped by the zone operations themselves.

bool CommandHandlers::gridDelete(I& in, Args) {
  if (!in.requireLogin()) return false;
  Name name(in.objectName());
  in.controller_.markGridDeleted(name.view());
  in.replies_.sendGridStatus(kStatusDelete, name.view());
  in.controller_.deleteGrid(name.view());
  return true;
}

bool CommandHandlers::gridMove(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t x = parseInteger(in.parameter(1, args));
  std::int32_t y = parseInteger(in.parameter(2, args));
  in.controller_.moveGrid(in.objectName(), x, y);
  return true;
}

bool CommandHandlers::gridResize(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t width = parseInteger(in.parameter(1, args));
  std::int32_t height = parseInteger(in.parameter(2, args));
  in.controller_.resizeGrid(in.objectName(), width, height);
  return true;
}

bool CommandHandlers::gridMoveSize(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t x = parseInteger(in.parameter(1, args));
  std::int32_t y = parseInteger(in.parameter(2, args));
  std::int32_t width = parseInteger(in.parameter(3, args));
  std::int32_t height = parseInteger(in.parameter(4, args));
  in.controller_.moveGrid(in.objectName(), x, y);
  in.controller_.resizeGrid(in.objectName(), width, height);
  return true;
}

bool CommandHandlers::gridSensitivity(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t value = parseInteger(in.parameter(1, args));
  for (const auto& cell : gridCells(in.controller_, in.objectName())) {
    in.controller_.setZoneSensitivity(cell, value);
  }
  return true;
}

bool CommandHandlers::gridThreshold(I& in, Args args) {
  if (!in.requireLogin()) return false;
  std::int32_t value = parseInteger(in.parameter(1, args));
  for (const auto& cell : gridCells(in.controller_, in.objectName())) {
    in.controller_.setZoneThreshold(cell, value);
  }
  return true;
}

bool CommandHandlers::gridPause(I& in, Args args) {
  if (!in.requireLogin()) return false;
  // Grids hold the duration in single precision.
  double given = parseReal(in.parameter(1, args));
  float seconds = std::isnan(given) || std::abs(given) <= std::numeric_limits<float>::max()
                      ? static_cast<float>(given)
                      : std::copysign(std::numeric_limits<float>::infinity(),
                                      static_cast<float>(given < 0 ? -1 : 1));
  std::uint32_t milliseconds = 0;
  if (!pauseMilliseconds(in, seconds, milliseconds)) return false;
  for (const auto& cell : gridCells(in.controller_, in.objectName())) {
    in.controller_.pauseZone(cell, milliseconds);
    in.controller_.setZoneActive(cell, milliseconds == 0);
  }
  return true;
}

bool CommandHandlers::gridActivate(I& in, Args args) {
  if (!in.requireLogin()) return false;
  bool active = false;
  if (!readTrueOrFalse(in, args, "activate: illegal parameter", active)) return false;
  for (const auto& cell : gridCells(in.controller_, in.objectName())) {
    in.controller_.setZoneActive(cell, active);
  }
  return true;
}

}  // namespace tessary
