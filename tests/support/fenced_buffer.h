// Bytes that end where a page the process may not touch begins: reading or
// writing one byte past the end faults at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessary::testing {

class FencedBuffer {
 public:
  // `bytes` writable bytes (at least 1), zero-filled.
  explicit FencedBuffer(std::size_t bytes);
  ~FencedBuffer();

  FencedBuffer(const FencedBuffer&) = delete;
  FencedBuffer& operator=(const FencedBuffer&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void* mapping_ = nullptr;
  std::size_t mappingBytes_ = 0;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace tessary::testing
