// Rows of bytes in the change kernels' padded layout (internal to detection).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "detection/change_kernels.h"

namespace tessary::detail {

// `rows` zero-filled rows for `width` pixels, each starting kVectorBytes-aligned.
class PaddedRows {
 public:
  PaddedRows(std::int32_t width, std::int32_t rows)
      : stride_(paddedRowBytes(width)),
        bytes_(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(rows)),
        storage_(bytes_ + kAlignment, 0) {
    const auto address = reinterpret_cast<std::uintptr_t>(storage_.data());
    base_ = storage_.data() + (kAlignment - address % kAlignment) % kAlignment;
  }

  PaddedRows(const PaddedRows&) = delete;
  PaddedRows& operator=(const PaddedRows&) = delete;

  std::ptrdiff_t stride() const { return stride_; }
  // x = 0 of row `index`.
  std::uint8_t* row(std::int32_t index) { return base_ + index * stride_ + kPlanePad; }
  const std::uint8_t* row(std::int32_t index) const { return base_ + index * stride_ + kPlanePad; }

  // Both hold the same geometry; the buffers trade places, nothing is copied.
  void swap(PaddedRows& other) noexcept {
    storage_.swap(other.storage_);
    std::swap(base_, other.base_);
  }
  void copyFrom(const PaddedRows& other) { std::memcpy(base_, other.base_, bytes_); }

 private:
  static constexpr auto kAlignment = static_cast<std::size_t>(kVectorBytes);

  std::ptrdiff_t stride_;
  std::size_t bytes_;
  std::vector<std::uint8_t> storage_;
  std::uint8_t* base_ = nullptr;
};

}  // namespace tessary::detail
