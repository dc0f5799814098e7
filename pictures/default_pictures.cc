#include "pictures/default_pictures.h"

#include <cstddef>

// Defined in the source the build generates from pictures/default/*.jpg
// (pictures/embed_files.cmake).
namespace tarvok::pictures::embedded {
extern const unsigned char kEmbedded_jr[];
extern const std::size_t kEmbedded_jr_size;
extern const unsigned char kEmbedded_zl[];
extern const std::size_t kEmbedded_zl_size;
extern const unsigned char kEmbedded_bq[];
extern const std::size_t kEmbedded_bq_size;
extern const unsigned char kEmbedded_lxr[];
extern const std::size_t kEmbedded_lxr_size;
}  // namespace tarvok::pictures::embedded

namespace tarvok::pictures {
namespace {

std::string_view Bytes(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace

const std::vector<DefaultPicture>& DefaultPictures() {
  using namespace embedded;
  // Never destroyed: other statics may look pictures up while exiting.
  static const auto* pictures = new std::vector<DefaultPicture>{
      {"jr.jpg", Bytes(kEmbedded_jr, kEmbedded_jr_size), 1024, 137},
      {"zl.jpg", Bytes(kEmbedded_zl, kEmbedded_zl_size), 1024, 130},
      {"bq.jpg", Bytes(kEmbedded_bq, kEmbedded_bq_size), 705, 89},
      {"lxr.jpg", Bytes(kEmbedded_lxr, kEmbedded_lxr_size), 631, 90},
  };
  return *pictures;
}

const DefaultPicture* FindDefaultPicture(std::string_view file) {
  for (const DefaultPicture& picture : DefaultPictures()) {
    if (file == picture.file) return &picture;
  }
  return nullptr;
}

}  // namespace tarvok::pictures
