#include "pictures/jpeg_decode.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "pictures/default_pictures.h"

namespace tarvok::pictures {
namespace {

std::string Fixture(const char* name) {
  std::ifstream in(std::string(TARVOK_TEST_DATA) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Zl() { return std::string(FindDefaultPicture("zl.jpg")->bytes); }

// The offset of the first segment with one of the markers (FF m), walking
// the segments from the start; npos when there is none before the scan.
std::size_t FindSegment(const std::string& jpeg, std::initializer_list<int> markers) {
  for (std::size_t at = 2; at + 4 <= jpeg.size();) {
    const int m = static_cast<unsigned char>(jpeg[at + 1]);
    for (int want : markers) {
      if (m == want) return at;
    }
    if (m == 0xDA) break;
    at += 2 + size_t(static_cast<unsigned char>(jpeg[at + 2])) * 256 +
          static_cast<unsigned char>(jpeg[at + 3]);
  }
  return std::string::npos;
}

// The bytes with the frame header (SOF0/1/2) changed by `edit`, which gets
// the segment from its FF: [4] precision, [5..6] height, [7..8] width.
std::string EditFrame(std::string jpeg, const std::function<void(char*)>& edit) {
  const std::size_t sof = FindSegment(jpeg, {0xC0, 0xC1, 0xC2});
  EXPECT_NE(sof, std::string::npos);
  if (sof != std::string::npos) edit(&jpeg[sof]);
  return jpeg;
}

std::string WithSize(std::string jpeg, int width, int height) {
  return EditFrame(std::move(jpeg), [&](char* f) {
    f[5] = char(height >> 8), f[6] = char(height);
    f[7] = char(width >> 8), f[8] = char(width);
  });
}

// A picture of one colour made with libjpeg's encoder.
struct Encoding {
  int width = 8, height = 8;
  J_COLOR_SPACE space = JCS_GRAYSCALE;  // JCS_RGB or JCS_CMYK (stored as given)
  std::vector<unsigned char> pixel = {128};
  std::vector<jpeg_scan_info> scans;  // none: baseline
  bool adobe_marker = true;           // for JCS_CMYK
};

std::string Encode(const Encoding& e) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(e.width);
  c.image_height = JDIMENSION(e.height);
  c.input_components = int(e.pixel.size());
  c.in_color_space = e.space;
  jpeg_set_defaults(&c);
  if (e.space == JCS_CMYK) {
    jpeg_set_colorspace(&c, JCS_CMYK);
    c.write_Adobe_marker = e.adobe_marker ? TRUE : FALSE;
  }
  if (!e.scans.empty()) {
    c.scan_info = e.scans.data();
    c.num_scans = int(e.scans.size());
  }
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row;
  for (int x = 0; x < e.width; ++x) row.insert(row.end(), e.pixel.begin(), e.pixel.end());
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::string bytes(reinterpret_cast<char*>(out), size);
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

// A progressive script of exactly `count` scans (64 to 694) for one
// component: the DC scan, then each AC coefficient in a scan of its own,
// refined bit by bit as far as needed to reach the count.
std::vector<jpeg_scan_info> ProgressiveScans(int count) {
  std::vector<jpeg_scan_info> scans;
  scans.push_back({1, {0}, 0, 0, 0, 0});
  const int refinements = count - 64;
  for (int k = 1; k <= 63; ++k) {
    const int al = refinements / 63 + (k <= refinements % 63 ? 1 : 0);
    scans.push_back({1, {0}, k, k, 0, al});
    for (int a = al; a > 0; --a) scans.push_back({1, {0}, k, k, a, a - 1});
  }
  return scans;
}

std::string Gray(int width, int height) {
  Encoding e;
  e.width = width, e.height = height;
  return Encode(e);
}

// The pixel at (x, y).
std::vector<int> At(const RgbImage& image, int x, int y) {
  const std::size_t at = (std::size_t(y) * std::size_t(image.width) + std::size_t(x)) * 3;
  return {image.rgb[at], image.rgb[at + 1], image.rgb[at + 2]};
}

void ExpectColour(const RgbImage& image, int x, int y, std::vector<int> want) {
  const std::vector<int> got = At(image, x, y);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(got[c], want[c], 8) << "channel " << c << " at " << x << "," << y;
  }
}

TEST(LooksLikeJpegTest, WantsTheThreeStartBytes) {
  EXPECT_TRUE(LooksLikeJpeg("\xFF\xD8\xFF"));
  EXPECT_TRUE(LooksLikeJpeg(Zl()));
  EXPECT_FALSE(LooksLikeJpeg(""));
  EXPECT_FALSE(LooksLikeJpeg("\xFF\xD8"));
  EXPECT_FALSE(LooksLikeJpeg("\xFF\xD8\x00"));
  EXPECT_FALSE(LooksLikeJpeg(Fixture("tiny.png")));
  EXPECT_FALSE(LooksLikeJpeg(Fixture("tiny.gif")));
}

TEST(DecodeJpegTest, GrayscaleBecomesEqualChannels) {
  // Made by ImageMagick: 16 x 8, the left half grey 64, the right grey 192.
  const auto image = DecodeJpeg(Fixture("gray.jpg"));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 8);
  ASSERT_EQ(image->rgb.size(), 16u * 8 * 3);
  for (int y : {0, 7}) {
    ExpectColour(*image, 1, y, {64, 64, 64});
    ExpectColour(*image, 14, y, {192, 192, 192});
  }
}

TEST(DecodeJpegTest, CmykBecomesRgb) {
  // Made by ImageMagick: 16 x 8 in YCCK with an Adobe marker (inverted
  // CMYK), the left half cyan, the right red.
  const auto image = DecodeJpeg(Fixture("cmyk.jpg"));
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->height, 8);
  ExpectColour(*image, 1, 4, {0, 255, 255});
  ExpectColour(*image, 14, 4, {255, 0, 0});

  // Plain CMYK: Adobe's files store the inks inverted, files without its
  // marker as they are. Magenta, yellow and a quarter of black either way.
  struct Case {
    bool adobe;
    std::vector<unsigned char> samples;
  };
  for (const Case& c : {Case{true, {255, 0, 0, 191}}, Case{false, {0, 255, 255, 64}}}) {
    SCOPED_TRACE(c.adobe ? "with the Adobe marker" : "without it");
    Encoding e;
    e.space = JCS_CMYK;
    e.pixel = c.samples;
    e.adobe_marker = c.adobe;
    const auto plain = DecodeJpeg(Encode(e));
    ASSERT_TRUE(plain.has_value());
    ExpectColour(*plain, 3, 3, {191, 0, 0});
  }
}

TEST(DecodeJpegTest, ColourComesInRgbOrder) {
  Encoding e;
  e.space = JCS_RGB;
  e.pixel = {200, 40, 90};
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    if (progressive) {
      e.scans = {{3, {0, 1, 2}, 0, 0, 0, 0},
                 {1, {0}, 1, 63, 0, 0},
                 {1, {1}, 1, 63, 0, 0},
                 {1, {2}, 1, 63, 0, 0}};
    }
    const auto image = DecodeJpeg(Encode(e));
    ASSERT_TRUE(image.has_value());
    ExpectColour(*image, 4, 4, {200, 40, 90});
  }
}

// Bytes that decode, and to what size.
struct Decodable {
  const char* what;
  std::string bytes;
  int width, height;
};

std::vector<Decodable> DecodableCases() {
  std::string junk_after_end = Fixture("gray.jpg") + "trailing bytes";
  // Stray bytes between two segments: libjpeg skips them with a warning.
  std::string stray = Fixture("gray.jpg");
  stray.insert(FindSegment(stray, {0xDB}), "\x00\x00\x00", 3);
  Encoding scans;
  scans.scans = ProgressiveScans(kMaxJpegScans);
  return {
      {"bytes after the end marker", junk_after_end, 16, 8},
      {"stray bytes before a marker", stray, 16, 8},
      {"the most scans taken", Encode(scans), 8, 8},
      {"the widest", Gray(kMaxJpegSide, 1), kMaxJpegSide, 1},
      {"the highest", Gray(1, kMaxJpegSide), 1, kMaxJpegSide},
      {"the most pixels", Gray(8000, 5000), 8000, 5000},
  };
}

TEST(DecodeJpegTest, DecodesWholePicturesUpToTheLimits) {
  static_assert(8000 * 5000 == kMaxJpegPixels);
  for (const Decodable& c : DecodableCases()) {
    SCOPED_TRACE(c.what);
    const auto image = DecodeJpeg(c.bytes);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->rgb.size(), std::size_t(c.width) * std::size_t(c.height) * 3);
  }
}

// Bytes that are no whole picture.
struct Refused {
  const char* what;
  std::string bytes;
};

std::vector<Refused> RefusedCases() {
  const std::string zl = Zl();
  const std::string gray = Fixture("gray.jpg");
  const std::size_t scan = FindSegment(zl, {0xDA});
  std::string marker_in_data = zl;
  marker_in_data.replace(scan + (zl.size() - scan) / 2, 2, "\xFF\xD9");
  std::string random(4096, '\0');
  std::mt19937 rng(7);
  for (char& c : random) c = char(rng());
  Encoding scans;
  scans.scans = ProgressiveScans(kMaxJpegScans + 1);
  return {
      {"nothing", ""},
      {"the start marker only", "\xFF\xD8"},
      {"the start of a marker only", "\xFF\xD8\xFF"},
      {"a PNG file", Fixture("tiny.png")},
      {"a GIF file", Fixture("tiny.gif")},
      {"random bytes", random},
      {"random bytes after FF D8 FF", "\xFF\xD8\xFF" + random},
      {"cut in the tables", zl.substr(0, 100)},
      {"cut before the scan", zl.substr(0, scan)},
      {"cut in the middle of the scan", zl.substr(0, scan + (zl.size() - scan) / 2)},
      {"cut before the end marker", zl.substr(0, zl.size() - 2)},
      {"an end marker inside the picture data", marker_in_data},
      {"tables without a picture", gray.substr(0, FindSegment(gray, {0xC0})) + "\xFF\xD9"},
      {"a 65535 x 65535 frame", WithSize(gray, 65535, 65535)},
      {"a 16384 x 16384 frame", WithSize(gray, 16384, 16384)},
      {"a frame of width 0", WithSize(gray, 0, 8)},
      {"a frame of height 0", WithSize(gray, 16, 0)},
      {"12-bit samples", EditFrame(gray, [](char* f) { f[4] = 12; })},
      {"a lossless frame", EditFrame(gray, [](char* f) { f[1] = char(0xC3); })},
      {"one scan too many", Encode(scans)},
      {"too wide", Gray(kMaxJpegSide + 1, 1)},
      {"too high", Gray(1, kMaxJpegSide + 1)},
      {"too many pixels", Gray(8000, 5001)},
  };
}

TEST(DecodeJpegTest, RefusesWhatIsNoWholePicture) {
  for (const Refused& c : RefusedCases()) {
    EXPECT_FALSE(DecodeJpeg(c.bytes).has_value()) << c.what;
  }
}

}  // namespace
}  // namespace tarvok::pictures
