// The reply sender's zone queries, answered by the VideoController.
#pragma once

#include "link/zone_queries.h"
#include "zones/video_controller.h"

namespace tessary {

class VideoControllerZoneQueries final : public ZoneQueries {
 public:
  explicit VideoControllerZoneQueries(VideoController& controller) : controller_(controller) {}

  std::int32_t zoneCount() override { return controller_.zoneCount(); }
  std::string_view zoneName(std::int32_t zoneId) override { return controller_.zoneName(zoneId); }
  bool zoneActive(std::int32_t zoneId) override { return controller_.zoneActive(zoneId); }
  std::int32_t zoneMotionAmount(std::int32_t zoneId) override {
    return controller_.zoneMotionAmount(zoneId);
  }
  std::optional<std::string_view> zoneStatusText(std::string_view name) override {
    return controller_.zoneStatusText(name);
  }
  std::string_view zoneAttributesText(std::string_view name) override {
    return controller_.zoneAttributesText(name);
  }
  std::string_view zoneSummaryText(std::string_view name) override {
    return controller_.zoneSummaryText(name);
  }
  std::optional<std::string_view> gridStatusText(std::string_view name) override {
    return controller_.gridStatusText(name);
  }

 private:
  VideoController& controller_;
};

}  // namespace tessary
