// The surface that receives the overlay picture, and its pixel formats.
//
// The overlay shows a 160 x 120 picture in packed YUV 4:2:2; whatever holds
// that picture (a hardware overlay buffer or our own memory) is reached only
// through lock and unlock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessary {

using FourCc = std::uint32_t;

constexpr FourCc makeFourCc(char a, char b, char c, char d) {
  return static_cast<FourCc>(static_cast<unsigned char>(a)) |
         static_cast<FourCc>(static_cast<unsigned char>(b)) << 8 |
         static_cast<FourCc>(static_cast<unsigned char>(c)) << 16 |
         static_cast<FourCc>(static_cast<unsigned char>(d)) << 24;
}

inline constexpr FourCc kFourCcUyvy = makeFourCc('U', 'Y', 'V', 'Y');
inline constexpr FourCc kFourCcYuy2 = makeFourCc('Y', 'U', 'Y', '2');
// An RGB (or any other) surface that is not described by a FOURCC.
inline constexpr FourCc kNoFourCc = 0;

// What a successful lock hands out: the whole surface.
struct SurfaceLock {
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int pitch = 0;  // bytes from one row to the next
  FourCc fourCc = kNoFourCc;
};

enum class LockWait { kNoWait, kWait };

class OverlaySurface {
 public:
  // 0 and `lock` filled in, or a negative platform code.
  virtual int lock(LockWait wait, SurfaceLock& lock) = 0;
  virtual int unlock() = 0;

 protected:
  ~OverlaySurface() = default;
};

// A surface in our own memory: the overlay's picture buffer where there is no
// hardware overlay, and a test double.
class MemoryOverlaySurface final : public OverlaySurface {
 public:
  MemoryOverlaySurface(int width, int height, FourCc fourCc, int pitch = 0);

  int lock(LockWait wait, SurfaceLock& lock) override;
  int unlock() override;

  int width() const { return width_; }
  int height() const { return height_; }
  int pitch() const { return pitch_; }
  FourCc fourCc() const { return fourCc_; }
  const std::uint8_t* pixels() const { return bytes_.data(); }
  bool locked() const { return locked_; }

  // For tests: make the next locks fail with `code` (0 to succeed again).
  void failLocks(int code) { lockFailure_ = code; }

 private:
  int width_;
  int height_;
  int pitch_;
  FourCc fourCc_;
  std::vector<std::uint8_t> bytes_;
  bool locked_ = false;
  int lockFailure_ = 0;
};

}  // namespace tessary
