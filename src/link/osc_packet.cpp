#include "link/osc_packet.h"

#include <bit>
#include <cstring>

namespace tessary {
namespace {

// "#bundle" and its NUL, then the time tag 1: "immediately".
constexpr char kBundleHeader[16] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1};
constexpr std::size_t kHeaderBytes = sizeof(kBundleHeader);
constexpr std::size_t kSizeBytes = 4;

bool allowedInAddress(unsigned char c) {
  if (c <= 0x20 || c >= 0x7f) return false;
  switch (c) {
    case '#': case '*': case ',': case '/': case '?': case '[': case ']': case '{': case '}':
      return false;
    default: return true;
  }
}

void appendBigEndian(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                         static_cast<char>(value >> 8), static_cast<char>(value)};
  out.append(bytes, 4);
}

// An OSC string: the bytes, a NUL, and NULs up to a multiple of four.
void appendPadded(std::string& out, std::string_view text) {
  out.append(text);
  out.append(4 - text.size() % 4, '\0');
}

}  // namespace

void appendOscAddress(std::string& out, std::string_view zone, std::string_view kind) {
  out.append("/tessary/");
  if (zone.empty()) out.push_back('_');
  for (char c : zone) out.push_back(allowedInAddress(static_cast<unsigned char>(c)) ? c : '_');
  out.push_back('/');
  out.append(kind);
}

OscBatch::OscBatch() {
  buffer_.reserve(1024);
  scratch_.reserve(512);
  clear();
}

void OscBatch::clear() {
  buffer_.assign(kBundleHeader, kHeaderBytes);
  messages_ = 0;
}

bool OscBatch::addHit(std::string_view zone) { return add(zone, "hit", Argument::kInt, 1, {}); }

bool OscBatch::addMotion(std::string_view zone, float percent) {
  return add(zone, "motion", Argument::kFloat, std::bit_cast<std::uint32_t>(percent), {});
}

bool OscBatch::addStatus(std::string_view zone, std::string_view text) {
  // A NUL would end the string early for every reader; cut it there.
  return add(zone, "status", Argument::kString, 0, text.substr(0, text.find('\0')));
}

bool OscBatch::add(std::string_view zone, std::string_view kind, Argument type,
                   std::uint32_t number, std::string_view text) {
  scratch_.clear();
  appendOscAddress(scratch_, zone.substr(0, zone.find('\0')), kind);
  scratch_.append(4 - scratch_.size() % 4, '\0');
  const char tags[4] = {',', static_cast<char>(type), 0, 0};
  scratch_.append(tags, 4);
  if (type == Argument::kString) {
    appendPadded(scratch_, text);
  } else {
    appendBigEndian(scratch_, number);
  }
  // Whether it is sent alone or in a bundle with more, the packet stays
  // within kMaxPacketBytes.
  if (buffer_.size() + kSizeBytes + scratch_.size() > kMaxPacketBytes) return false;
  appendBigEndian(buffer_, static_cast<std::uint32_t>(scratch_.size()));
  buffer_.append(scratch_);
  ++messages_;
  return true;
}

std::string_view OscBatch::packet() const {
  const std::string_view all(buffer_);
  if (messages_ == 0) return {};
  if (messages_ == 1) return all.substr(kHeaderBytes + kSizeBytes);
  return all;
}

}  // namespace tessary
