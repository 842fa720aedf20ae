#include "platform/windows/net_server_lan_browser.h"

// clang-format off
#include <windows.h>
#include <lm.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <string_view>
#include <utility>

namespace tessary {
namespace {

constexpr auto kRelistInterval = std::chrono::minutes(1);

std::string toUtf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                      nullptr);
  return text;
}

struct NetBuffer {
  ~NetBuffer() {
    if (data != nullptr) NetApiBufferFree(data);
  }
  LPBYTE data = nullptr;
};

}  // namespace

NetServerLanBrowser::NetServerLanBrowser() : NetServerLanBrowser(&NetServerLanBrowser::listWorkstations) {}

NetServerLanBrowser::NetServerLanBrowser(Lister lister)
    : lister_(std::move(lister)), thread_([this] { run(); }) {}

NetServerLanBrowser::~NetServerLanBrowser() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  // A listing under way is waited for: NetServerEnum cannot be cancelled.
  thread_.join();
}

std::vector<std::string> NetServerLanBrowser::names() const {
  std::lock_guard lock(mutex_);
  return names_;
}

int NetServerLanBrowser::listings() const {
  std::lock_guard lock(mutex_);
  return listings_;
}

void NetServerLanBrowser::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    std::vector<std::string> listed = listableNames(lister_());
    lock.lock();
    names_ = std::move(listed);
    ++listings_;
    wake_.wait_for(lock, kRelistInterval, [this] { return stopping_; });
  }
}

std::vector<std::string> NetServerLanBrowser::listWorkstations() {
  NetBuffer buffer;
  DWORD read = 0;
  DWORD total = 0;
  const NET_API_STATUS status = NetServerEnum(nullptr, 100, &buffer.data, MAX_PREFERRED_LENGTH, &read, &total,
                                              SV_TYPE_WORKSTATION, nullptr, nullptr);
  // ERROR_MORE_DATA still hands over the entries that fitted.
  if ((status != NERR_Success && status != ERROR_MORE_DATA) || buffer.data == nullptr) return {};
  std::vector<std::string> names;
  const auto* servers = reinterpret_cast<const SERVER_INFO_100*>(buffer.data);
  for (DWORD i = 0; i < read; ++i) {
    if (servers[i].sv100_name != nullptr) names.push_back(toUtf8(servers[i].sv100_name));
  }
  return names;
}

std::vector<std::string> NetServerLanBrowser::listableNames(std::vector<std::string> raw) {
  std::erase_if(raw, [](const std::string& name) {
    return name.empty() || std::ranges::any_of(name, [](char c) {
             const auto byte = static_cast<unsigned char>(c);
             return c == ',' || byte < 0x20 || byte == 0x7F;
           });
  });
  std::ranges::sort(raw);
  raw.erase(std::unique(raw.begin(), raw.end()), raw.end());
  return raw;
}

}  // namespace tessary
