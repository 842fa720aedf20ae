#include "display/watermark.h"

#include <array>
#include <string_view>

namespace tessary {

namespace {

// The logo is kept as an XPM image in resources/, which is valid C: it is
// compiled in and decoded at compile time.
#include "watermark.xpm"

constexpr int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr int parseNumber(std::string_view text, std::size_t& at) {
  while (at < text.size() && text[at] == ' ') ++at;
  int value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') value = value * 10 + (text[at++] - '0');
  return value;
}

struct PaletteEntry {
  char key = 0;
  std::uint8_t red = 0, green = 0, blue = 0;
};

constexpr std::array<std::uint8_t, kWatermarkBytes> decodeXpm() {
  std::array<std::uint8_t, kWatermarkBytes> image{};
  std::string_view header = kWatermarkXpm[0];
  std::size_t at = 0;
  const int width = parseNumber(header, at);
  const int height = parseNumber(header, at);
  const int colours = parseNumber(header, at);
  if (width != kWatermarkWidth || height != kWatermarkHeight || colours > 16) throw "bad size";

  std::array<PaletteEntry, 16> palette{};
  for (int i = 0; i < colours; ++i) {
    std::string_view line = kWatermarkXpm[1 + i];  // "k c #RRGGBB"
    if (line.size() != 11 || line.substr(1, 4) != " c #") throw "bad colour";
    auto byteAt = [&](std::size_t pos) {
      return static_cast<std::uint8_t>(hexDigit(line[pos]) * 16 + hexDigit(line[pos + 1]));
    };
    palette[static_cast<std::size_t>(i)] = PaletteEntry{line[0], byteAt(5), byteAt(7), byteAt(9)};
  }
  for (int row = 0; row < height; ++row) {
    std::string_view line = kWatermarkXpm[1 + colours + row];
    if (line.size() != static_cast<std::size_t>(width)) throw "bad row";
    for (int column = 0; column < width; ++column) {
      const PaletteEntry* found = nullptr;
      for (int i = 0; i < colours; ++i) {
        if (palette[static_cast<std::size_t>(i)].key == line[static_cast<std::size_t>(column)]) {
          found = &palette[static_cast<std::size_t>(i)];
        }
      }
      if (found == nullptr) throw "unknown colour";
      const auto offset = static_cast<std::size_t>(row * kWatermarkStride + column * 3);
      image[offset] = found->blue;
      image[offset + 1] = found->green;
      image[offset + 2] = found->red;
    }
  }
  return image;
}

// A malformed image file fails the build rather than the program.
constexpr std::array<std::uint8_t, kWatermarkBytes> kWatermark = decodeXpm();

}  // namespace

std::span<const std::uint8_t, kWatermarkBytes> watermarkImage() { return kWatermark; }

}  // namespace tessary
