#include "platform/linux/v4l2_format.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cstring>

namespace tessary {
namespace {

std::uint32_t bytesPerPixel(std::uint32_t fourcc) {
  switch (fourcc) {
    case V4L2_PIX_FMT_BGR24: return 3;
    case V4L2_PIX_FMT_BGR32:
    case V4L2_PIX_FMT_XBGR32: return 4;
    case V4L2_PIX_FMT_RGB565:
    case V4L2_PIX_FMT_RGB555:
    case V4L2_PIX_FMT_UYVY: return 2;
    default: return 0;
  }
}

std::uint8_t clampByte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

// ITU-R BT.601, studio range, in integer arithmetic.
void yuvToBgrx(int y, int u, int v, std::uint8_t* out) {
  int c = 298 * (y - 16);
  int d = u - 128;
  int e = v - 128;
  out[0] = clampByte((c + 516 * d + 128) >> 8);
  out[1] = clampByte((c - 100 * d - 208 * e + 128) >> 8);
  out[2] = clampByte((c + 409 * e + 128) >> 8);
  out[3] = 0;
}

// Expands a field of `bits` bits to 8 bits, white staying white.
std::uint8_t expand(unsigned value, unsigned bits) {
  return static_cast<std::uint8_t>((value << (8 - bits)) | (value >> (2 * bits - 8)));
}

void convertRow(std::uint32_t fourcc, const std::uint8_t* in, std::uint8_t* out,
                std::int32_t width) {
  switch (fourcc) {
    case V4L2_PIX_FMT_BGR24:
      for (std::int32_t x = 0; x < width; ++x, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 0;
      }
      break;
    case V4L2_PIX_FMT_BGR32:
    case V4L2_PIX_FMT_XBGR32:
      std::memcpy(out, in, static_cast<std::size_t>(width) * 4);
      for (std::int32_t x = 0; x < width; ++x) out[x * 4 + 3] = 0;
      break;
    case V4L2_PIX_FMT_RGB565:
      for (std::int32_t x = 0; x < width; ++x, in += 2, out += 4) {
        unsigned word = in[0] | (in[1] << 8);
        out[0] = expand(word & 0x1f, 5);
        out[1] = expand((word >> 5) & 0x3f, 6);
        out[2] = expand((word >> 11) & 0x1f, 5);
        out[3] = 0;
      }
      break;
    case V4L2_PIX_FMT_RGB555:
      for (std::int32_t x = 0; x < width; ++x, in += 2, out += 4) {
        unsigned word = in[0] | (in[1] << 8);
        out[0] = expand(word & 0x1f, 5);
        out[1] = expand((word >> 5) & 0x1f, 5);
        out[2] = expand((word >> 10) & 0x1f, 5);
        out[3] = 0;
      }
      break;
    case V4L2_PIX_FMT_UYVY:
      // U Y0 V Y1 covers two pixels; an odd last pixel reuses its pair's colour.
      for (std::int32_t x = 0; x < width; x += 2, in += 4, out += 8) {
        yuvToBgrx(in[1], in[0], in[2], out);
        if (x + 1 < width) yuvToBgrx(in[3], in[0], in[2], out + 4);
      }
      break;
    default:
      break;
  }
}

}  // namespace

PixelFormat pixelFormatFromV4l2(std::uint32_t fourcc) {
  switch (fourcc) {
    case V4L2_PIX_FMT_BGR24: return PixelFormat::kRgb24;
    case V4L2_PIX_FMT_BGR32:
    case V4L2_PIX_FMT_XBGR32: return PixelFormat::kRgb32;
    case V4L2_PIX_FMT_RGB565: return PixelFormat::kRgb565;
    case V4L2_PIX_FMT_RGB555: return PixelFormat::kRgb555;
    case V4L2_PIX_FMT_UYVY: return PixelFormat::kUyvy;
    default: return PixelFormat::kUnsupported;
  }
}

bool canConvertV4l2(std::uint32_t fourcc) { return bytesPerPixel(fourcc) != 0; }

bool convertToRgb32BottomUp(std::uint32_t fourcc, std::span<const std::uint8_t> picture,
                            std::int32_t width, std::int32_t height, std::uint32_t bytesPerLine,
                            std::span<std::uint8_t> frame) {
  std::uint32_t pixelBytes = bytesPerPixel(fourcc);
  if (pixelBytes == 0 || width <= 0 || height <= 0) return false;
  // UYVY rows hold whole pixel pairs.
  std::size_t rowBytes = static_cast<std::size_t>(fourcc == V4L2_PIX_FMT_UYVY ? (width + 1) / 2 * 2
                                                                              : width) *
                         pixelBytes;
  std::size_t stride = bytesPerLine != 0 ? bytesPerLine : rowBytes;
  std::size_t rows = static_cast<std::size_t>(height);
  std::size_t frameStride = static_cast<std::size_t>(width) * 4;
  if (stride < rowBytes || picture.size() < stride * (rows - 1) + rowBytes ||
      frame.size() < frameStride * rows) {
    return false;
  }
  for (std::size_t row = 0; row < rows; ++row) {
    convertRow(fourcc, picture.data() + row * stride, frame.data() + (rows - 1 - row) * frameStride,
               width);
  }
  return true;
}

}  // namespace tessary
