#include "support/fenced_buffer.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tessary::testing {

namespace {

std::size_t pageBytes() {
#ifdef _WIN32
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
#else
  return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

}  // namespace

FencedBuffer::FencedBuffer(std::size_t bytes) : size_(bytes) {
  const std::size_t page = pageBytes();
  const std::size_t dataPages = (bytes + page - 1) / page;
  mappingBytes_ = (dataPages + 1) * page;
  auto* fence = static_cast<std::uint8_t*>(nullptr);
#ifdef _WIN32
  mapping_ = VirtualAlloc(nullptr, mappingBytes_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (mapping_ == nullptr) std::abort();
  fence = static_cast<std::uint8_t*>(mapping_) + dataPages * page;
  DWORD previous = 0;
  if (!VirtualProtect(fence, page, PAGE_NOACCESS, &previous)) std::abort();
#else
  mapping_ = mmap(nullptr, mappingBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping_ == MAP_FAILED) std::abort();
  fence = static_cast<std::uint8_t*>(mapping_) + dataPages * page;
  if (mprotect(fence, page, PROT_NONE) != 0) std::abort();
#endif
  data_ = fence - bytes;
}

FencedBuffer::~FencedBuffer() {
#ifdef _WIN32
  VirtualFree(mapping_, 0, MEM_RELEASE);
#else
  munmap(mapping_, mappingBytes_);
#endif
}

}  // namespace tessary::testing
