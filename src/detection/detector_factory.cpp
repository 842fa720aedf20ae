#include "detection/detector_factory.h"

#include "detection/neighbour_detector.h"
#include "detection/plain_detector.h"

namespace tessary {

std::unique_ptr<MotionDetector> createDetector(std::int32_t method, std::int32_t width,
                                               std::int32_t height,
                                               std::uint8_t fillFlag,
                                               std::uint8_t highlightFlag) {
  std::unique_ptr<MotionDetector> detector;
  if (method == kDetectionMethodPlain) {
    detector = std::make_unique<PlainDetector>(width, height);
  } else {
    detector = std::make_unique<NeighbourDetector>(width, height);
  }
  detector->setFill(fillFlag, 0, 0, 0);
  detector->setHighlight(highlightFlag, 255, 255, 255);
  return detector;
}

}  // namespace tessary
