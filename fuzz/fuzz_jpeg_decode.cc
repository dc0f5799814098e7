// Arbitrary bytes as a JPEG file for the decoder of picked title pictures.
//
// Asserted, besides not crashing, exiting or printing: bytes that do not
// start like a JPEG are refused; a decoded picture lies within the size
// limits and holds exactly 3 bytes for each of its pixels.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "pictures/jpeg_decode.h"
#include "fuzz/fuzz_support.h"

namespace {

using tarvok::fuzz::Require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarvok::pictures;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto image = DecodeJpeg(bytes);
  if (!image) return 0;
  Require(LooksLikeJpeg(bytes), "only bytes that start like a JPEG decode");
  Require(image->width > 0 && image->width <= kMaxJpegSide, "the width is within the limit");
  Require(image->height > 0 && image->height <= kMaxJpegSide, "the height is within the limit");
  Require(int64_t(image->width) * image->height <= kMaxJpegPixels,
          "the number of pixels is within the limit");
  Require(image->rgb.size() == size_t(image->width) * size_t(image->height) * 3,
          "3 bytes a pixel");
  return 0;
}
