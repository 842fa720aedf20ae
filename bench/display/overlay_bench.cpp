// CPU per fed frame tick of the overlay's own pixel work: render the picture,
// convert it back to RGB, stretch it over the render area, and rebuild the
// key shape from the pixels beneath (which happens only after damage, at most
// about twice per tick; counted here on every tick as the worst case).
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "common/frame.h"
#include "display/key_shape.h"
#include "display/overlay_renderer.h"
#include "display/picture_stretcher.h"

namespace tessary {
namespace {

class NoisyPictures final : public PictureSource {
 public:
  NoisyPictures() : frame_(kFrameBytes) {
    std::uint32_t seed = 12345;
    for (auto& byte : frame_) {
      seed = seed * 1664525u + 1013904223u;
      byte = static_cast<std::uint8_t>(seed >> 24);
    }
  }
  PictureFrame currentPicture() const override { return PictureFrame{frame_, {true, true}}; }

 private:
  std::vector<std::uint8_t> frame_;
};

// The windows beneath: grey with a key-coloured rectangle in the middle.
std::vector<std::uint32_t> screenBeneath(int width, int height) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0x808080);
  for (int y = height / 4; y < height * 3 / 4; ++y)
    for (int x = width / 4; x < width * 3 / 4; ++x) pixels[static_cast<std::size_t>(y) * width + x] = 0xFF00FF;
  return pixels;
}

struct TickWork {
  TickWork(int width, int height)
      : renderer(pictures), beneath(screenBeneath(width, height)),
        dest(static_cast<std::size_t>(width) * height) {
    stretcher.setSize(width, height);
  }

  void picture() {
    renderer.render(surface);
    SurfaceLock lock;
    surface.lock(LockWait::kNoWait, lock);
    convertPictureToRgb(lock, rgb);
    surface.unlock();
    stretcher.stretch(rgb, reinterpret_cast<std::uint8_t*>(dest.data()), stretcher.width() * 4);
  }

  void shapeUpdate() {
    shape.reset(stretcher.width(), stretcher.height());
    shape.paint(ShapeRect{0, 0, stretcher.width(), stretcher.height()},
                reinterpret_cast<const std::uint8_t*>(beneath.data()), stretcher.width() * 4, 0xFF00FF);
    benchmark::DoNotOptimize(shape.rectangles().size());
  }

  NoisyPictures pictures;
  OverlayRenderer renderer;
  MemoryOverlaySurface surface{kFrameWidth, kFrameHeight, kFourCcUyvy};
  std::array<RgbPixel, kPicturePixels> rgb{};
  PictureStretcher stretcher;
  KeyShape shape;
  std::vector<std::uint32_t> beneath;
  std::vector<std::uint32_t> dest;
};

void BM_RenderAndConvert(benchmark::State& state) {
  TickWork work(160, 120);
  for (auto _ : state) {
    work.renderer.render(work.surface);
    SurfaceLock lock;
    work.surface.lock(LockWait::kNoWait, lock);
    convertPictureToRgb(lock, work.rgb);
    work.surface.unlock();
    benchmark::DoNotOptimize(work.rgb.data());
  }
}
BENCHMARK(BM_RenderAndConvert)->Unit(benchmark::kMicrosecond);

void BM_Stretch(benchmark::State& state) {
  TickWork work(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    work.stretcher.stretch(work.rgb, reinterpret_cast<std::uint8_t*>(work.dest.data()), work.stretcher.width() * 4);
    benchmark::DoNotOptimize(work.dest.data());
  }
}
BENCHMARK(BM_Stretch)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

void BM_ShapeUpdate(benchmark::State& state) {
  TickWork work(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) work.shapeUpdate();
}
BENCHMARK(BM_ShapeUpdate)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

// One fed tick, worst case: the picture plus a shape update. At 15 ticks a
// second, 5 % of one core is 3.3 ms of CPU per tick.
void BM_FedTick(benchmark::State& state) {
  TickWork work(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    work.picture();
    work.shapeUpdate();
    benchmark::DoNotOptimize(work.dest.data());
  }
}
BENCHMARK(BM_FedTick)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessary

BENCHMARK_MAIN();
