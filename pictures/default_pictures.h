// The four title pictures the organiser carries inside the program, one for
// each right-hand page, written into its pic folder when missing there. The
// bytes are the JPEG files of pictures/default/, embedded at build time.
#pragma once

#include <string_view>
#include <vector>

namespace tarvok::pictures {

struct DefaultPicture {
  const char* file;        // its name in the pic folder, e.g. "jr.jpg"
  std::string_view bytes;  // the whole JPEG file
  int width, height;       // in pixels
};

// The four pictures in the order jr.jpg, zl.jpg, bq.jpg, lxr.jpg.
const std::vector<DefaultPicture>& DefaultPictures();

// The one named `file` (exact, e.g. "zl.jpg"), or nullptr.
const DefaultPicture* FindDefaultPicture(std::string_view file);

}  // namespace tarvok::pictures
