// The grid table of the VideoController: named rectangles cut into cells,
// each cell an ordinary zone.
#include <cstdio>

#include "zones/video_controller.h"
#include "zones/zone_units.h"

namespace tessary {

using zone_units::saturateToInt32;
using zone_units::storedName;

namespace {

// "<grid>_<k>". A long grid name is cut so that the number always fits whole;
// otherwise every cell of such a grid would end up with the same name.
ZoneName cellName(std::string_view gridName, std::int32_t k) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%d", k);
  return zone_units::withSuffix(gridName, suffix);
}

}  // namespace

bool VideoController::createGrid(std::string_view name, std::int32_t x, std::int32_t y,
                                 std::int32_t width, std::int32_t height, std::int32_t columns,
                                 std::int32_t rows) {
  // Would divide by zero or step backwards for ever.
  if (columns < 1 || rows < 1) return false;

  bool truncated = false;
  if (width % columns != 0) {
    width -= width % columns;
    truncated = true;
  }
  if (height % rows != 0) {
    height -= height % rows;
    truncated = true;
  }
  const std::int32_t cellWidth = width / columns;
  const std::int32_t cellHeight = height / rows;

  GridRecord grid;
  grid.name.assign(storedName(name));
  grid.status = ZoneStatus::kCreated;
  grid.x = x;
  grid.y = y;
  grid.width = width;
  grid.height = height;
  grid.columns = columns;
  grid.rows = rows;

  // A positive width or height is a whole number (at least one) of cells, so
  // both steps are at least 1 whenever a loop runs.
  std::int32_t k = 0;
  for (std::int64_t cy = 0; cy < height; cy += cellHeight) {
    for (std::int64_t cx = 0; cx < width; cx += cellWidth) {
      const ZoneName cell = cellName(grid.name.view(), k);
      // A cell that cannot be created keeps its name in the grid all the same.
      addZone(cell.view(), saturateToInt32(x + cx), saturateToInt32(y + cy), cellWidth,
              cellHeight);
      ++k;
      grid.cellNames.emplace_back(cell.view());
    }
  }
  grids_.push_back(std::move(grid));
  return truncated;
}

std::int32_t VideoController::findGrid(std::string_view name) const {
  const std::string_view key = storedName(name);
  for (std::size_t i = 0; i < grids_.size(); ++i) {
    if (grids_[i].name.view() == key) return static_cast<std::int32_t>(i);
  }
  return -1;
}

bool VideoController::gridExists(std::string_view name) const { return findGrid(name) >= 0; }

std::int32_t VideoController::gridCount() const {
  return static_cast<std::int32_t>(grids_.size());
}

std::optional<std::string_view> VideoController::gridStatusText(std::string_view name) const {
  const std::int32_t index = findGrid(name);
  if (index < 0) return std::nullopt;
  return gridStatusName(grids_[static_cast<std::size_t>(index)].status);
}

void VideoController::markGridDeleted(std::string_view name) {
  const std::int32_t index = findGrid(name);
  if (index < 0) return;
  grids_[static_cast<std::size_t>(index)].status = ZoneStatus::kDeleted;
}

void VideoController::deleteGrid(std::string_view name) {
  const std::int32_t index = findGrid(name);
  if (index < 0) return;
  // Zone operations never touch the grid table, so the record stays put.
  for (const std::string& cell : grids_[static_cast<std::size_t>(index)].cellNames) {
    deleteZone(cell);
  }
  grids_.erase(grids_.begin() + index);
}

bool VideoController::copyGridRecord(std::string_view name, GridRecord& out) const {
  const std::int32_t index = findGrid(name);
  if (index < 0) {
    out = GridRecord{};
    return false;
  }
  out = grids_[static_cast<std::size_t>(index)];
  return true;
}

void VideoController::setGridRect(std::string_view name, std::int32_t x, std::int32_t y,
                                  std::int32_t width, std::int32_t height) {
  const std::int32_t index = findGrid(name);
  if (index < 0) return;
  GridRecord& grid = grids_[static_cast<std::size_t>(index)];
  grid.x = x;
  grid.y = y;
  grid.width = width;
  grid.height = height;
}

void VideoController::moveGrid(std::string_view name, std::int32_t x, std::int32_t y) {
  GridRecord grid;
  if (!copyGridRecord(name, grid)) return;
  const std::int64_t dx = std::int64_t{x} - grid.x;
  const std::int64_t dy = std::int64_t{y} - grid.y;
  for (const std::string& cell : grid.cellNames) {
    ZoneRecord record;
    if (!copyZoneRecord(cell, record)) continue;
    moveZone(cell, saturateToInt32(record.x + dx), saturateToInt32(record.y + dy));
  }
  setGridRect(name, x, y, grid.width, grid.height);
}

void VideoController::resizeGrid(std::string_view name, std::int32_t width, std::int32_t height) {
  GridRecord grid;
  if (!copyGridRecord(name, grid)) return;
  if (grid.columns >= 1 && grid.rows >= 1) {
    const std::int32_t cellWidth = width / grid.columns;
    const std::int32_t cellHeight = height / grid.rows;
    // Cell k sits in row k / columns, column k % columns; walking the names
    // rather than rows x columns keeps a grid without cells from looping.
    const std::size_t columns = static_cast<std::size_t>(grid.columns);
    const std::size_t rows = static_cast<std::size_t>(grid.rows);
    for (std::size_t k = 0; k < grid.cellNames.size() && k / columns < rows; ++k) {
      const auto row = static_cast<std::int64_t>(k / columns);
      const auto column = static_cast<std::int64_t>(k % columns);
      moveSizeZone(grid.cellNames[k], saturateToInt32(grid.x + column * cellWidth),
                   saturateToInt32(grid.y + row * cellHeight), cellWidth, cellHeight);
    }
  }
  setGridRect(name, grid.x, grid.y, width, height);
}

}  // namespace tessary
