#include "common/private_file.h"

#include <windows.h>
#include <sddl.h>

#include "platform/windows/wide_text.h"

namespace tessary {
namespace {

// Full access for the file's owner and nobody else, not inherited from the
// folder ("OW" is the owner-rights SID).
constexpr char kOwnerOnly[] = "D:P(A;;FA;;;OW)";

class SecurityDescriptor {
 public:
  SecurityDescriptor() {
    ::ConvertStringSecurityDescriptorToSecurityDescriptorA(kOwnerOnly, SDDL_REVISION_1, &descriptor_,
                                                           nullptr);
  }
  ~SecurityDescriptor() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
  }
  SecurityDescriptor(const SecurityDescriptor&) = delete;
  SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;
  PSECURITY_DESCRIPTOR get() const { return descriptor_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace

bool writePrivateFile(const std::string& path, std::string_view bytes) {
  SecurityDescriptor ownerOnly;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), ownerOnly.get(), FALSE};
  const std::wstring widePath = wideFromUtf8(path);
  HANDLE file = ::CreateFileW(widePath.c_str(), GENERIC_WRITE | WRITE_DAC, 0,
                              ownerOnly.get() != nullptr ? &attributes : nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // WRITE_DAC may be refused on a file we may still write.
    file = ::CreateFileW(widePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
  } else if (ownerOnly.get() != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    // An existing file keeps its old rights unless we narrow them; a volume
    // without rights (FAT) refuses, and then there is nothing to narrow.
    ::SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, ownerOnly.get());
  }
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
    ok = ::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  if (!::CloseHandle(file)) ok = false;
  return ok;
}

}  // namespace tessary
