// JPEG files to pixels, over libjpeg. The bytes come from anywhere (a file
// the user picked, a damaged pic folder): nothing in them can crash the
// program, end it, or make it print.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tarvok::pictures {

// The largest picture decoded: wider or higher ones, or ones of more pixels,
// are refused before any pixel memory is taken.
inline constexpr int kMaxJpegSide = 16384;
inline constexpr int64_t kMaxJpegPixels = 40'000'000;
// The most scans a progressive file may have. Encoders write about ten; each
// scan walks every block of the picture (some 10 ms for the most pixels), and
// a valid progression may have thousands of nearly empty scans.
inline constexpr int kMaxJpegScans = 100;

struct RgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel, rows top down
};

// The pixels of a whole baseline or progressive JPEG file (grayscale, YCbCr,
// RGB, CMYK or YCCK), as RGB. nullopt for bytes that are not a whole
// decodable JPEG: not one at all, damaged picture data, data that end
// before the end-of-image marker, a size of 0 or beyond the limits above,
// more than kMaxJpegScans scans. Harmless oddities (an unknown JFIF revision
// or Adobe transform code, a bad ICC marker, stray bytes before a marker)
// are passed over. Never crashes, never calls exit, never prints.
std::optional<RgbImage> DecodeJpeg(std::string_view bytes);

// Whether the bytes start like a JPEG file: FF D8 FF.
bool LooksLikeJpeg(std::string_view bytes);

}  // namespace tarvok::pictures
