#include "pictures/default_pictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "pictures/jpeg_decode.h"

namespace tarvok::pictures {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The committed files the build embeds.
std::string SourcePicture(const char* file) {
  return ReadFile(std::string(TARVOK_TEST_DATA) + "/../../../pictures/default/" + file);
}

struct Expected {
  const char* file;
  int width, height;
  // The colour of the wash at the picture's left edge, from the picture
  // script (a channel swap or a wrong colour conversion shows here).
  int r, g, b;
};

constexpr Expected kExpected[] = {
    {"jr.jpg", 1024, 137, 0xf6, 0xb9, 0x9a},
    {"zl.jpg", 1024, 130, 0x9c, 0xc6, 0xec},
    {"bq.jpg", 705, 89, 0xf3, 0xd7, 0x79},
    {"lxr.jpg", 631, 90, 0xa6, 0xdc, 0xb8},
};

TEST(DefaultPicturesTest, AreTheFourFilesInPageOrderAndDecodeToTheirSizes) {
  const auto& pictures = DefaultPictures();
  ASSERT_EQ(pictures.size(), std::size(kExpected));
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const DefaultPicture& p = pictures[i];
    const Expected& e = kExpected[i];
    SCOPED_TRACE(e.file);
    EXPECT_STREQ(p.file, e.file);
    EXPECT_EQ(p.width, e.width);
    EXPECT_EQ(p.height, e.height);
    EXPECT_EQ(p.bytes, SourcePicture(e.file)) << "the embedded bytes are the committed file";
    EXPECT_LT(p.bytes.size(), 40u * 1024);

    const auto image = DecodeJpeg(p.bytes);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, e.width);
    EXPECT_EQ(image->height, e.height);
    const std::size_t at = (std::size_t(image->width) * 3 + 2) * 3;  // pixel (2, 3)
    EXPECT_NEAR(image->rgb[at + 0], e.r, 12);
    EXPECT_NEAR(image->rgb[at + 1], e.g, 12);
    EXPECT_NEAR(image->rgb[at + 2], e.b, 12);
  }
}

TEST(DefaultPicturesTest, FindTakesTheExactFileNameOnly) {
  for (const DefaultPicture& p : DefaultPictures()) {
    EXPECT_EQ(FindDefaultPicture(p.file), &p) << p.file;
  }
  for (const char* name : {"", "zl", "ZL.JPG", "zl.jpg ", " zl.jpg", "zl.jpeg", "pic/zl.jpg"}) {
    EXPECT_EQ(FindDefaultPicture(name), nullptr) << '"' << name << '"';
  }
  // The name is compared whole, not as a C string up to a NUL.
  EXPECT_EQ(FindDefaultPicture(std::string_view("zl.jpg\0x", 8)), nullptr);
}

}  // namespace
}  // namespace tarvok::pictures
