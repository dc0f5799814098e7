#include "pictures/jpeg_decode.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <new>
#include <type_traits>

#include <jerror.h>
#include <jpeglib.h>

namespace tarvok::pictures {
namespace {

// libjpeg reports a fatal error through error_exit, which must not return:
// ours jumps back to the setjmp of the step under way. Everything libjpeg
// allocated stays reachable through the decompress object and is freed by
// jpeg_destroy_decompress afterwards.
//
// The steps that call libjpeg (ReadHeader, ReadPixels) hold plain data only,
// so the jump skips no destructor; the C++ objects live in DecodeJpeg, whose
// frame no jump crosses.
struct Session {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  std::jmp_buf jump;
  jpeg_progress_mgr progress;
  bool cmyk;      // pixels come as CMYK, converted here
  bool inverted;  // CMYK stored inverted (written with an Adobe marker)
};

static_assert(std::is_standard_layout_v<Session>);

Session* SessionOf(j_common_ptr cinfo) {
  // cinfo is the first member of Session, and so has its address.
  return reinterpret_cast<Session*>(cinfo);
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) { std::longjmp(SessionOf(cinfo)->jump, 1); }

void OutputMessage(j_common_ptr) {}

// Warnings about the picture data (data ending early, a bad code, a lost
// restart marker, an impossible progression) mean libjpeg goes on with
// guessed pixels: such a file is not a whole picture. Warnings about
// metadata, and stray bytes skipped before a marker, leave the pixels whole.
bool HarmlessWarning(int code) {
  switch (code) {
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
      return true;
    default:
      return false;
  }
}

void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  if (!HarmlessWarning(cinfo->err->msg_code)) ErrorExit(cinfo);
}

void ProgressMonitor(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    ErrorExit(cinfo);
  }
}

bool KnownColourSpace(const jpeg_decompress_struct& cinfo) {
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      return cinfo.num_components == 1;
    case JCS_YCbCr:
    case JCS_RGB:
      return cinfo.num_components == 3;
    case JCS_CMYK:
    case JCS_YCCK:
      return cinfo.num_components == 4;
    default:
      return false;
  }
}

bool WithinLimits(JDIMENSION width, JDIMENSION height) {
  return width > 0 && height > 0 && width <= JDIMENSION(kMaxJpegSide) &&
         height <= JDIMENSION(kMaxJpegSide) &&
         int64_t(width) * int64_t(height) <= kMaxJpegPixels;
}

// Reads the header, checks it and starts decompression (for a progressive
// file that reads every scan). On success the picture's size is
// cinfo.output_width x cinfo.output_height.
bool ReadHeader(Session* s, const unsigned char* data, std::size_t size) {
  jpeg_decompress_struct& cinfo = s->cinfo;
  cinfo.err = jpeg_std_error(&s->err);
  s->err.error_exit = ErrorExit;
  s->err.output_message = OutputMessage;
  s->err.emit_message = EmitMessage;
  if (setjmp(s->jump)) return false;

  jpeg_create_decompress(&cinfo);
  s->progress.progress_monitor = ProgressMonitor;
  cinfo.progress = &s->progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (!KnownColourSpace(cinfo) || !WithinLimits(cinfo.image_width, cinfo.image_height)) {
    return false;
  }
  s->cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  s->inverted = cinfo.saw_Adobe_marker != 0;
  cinfo.out_color_space = s->cmyk ? JCS_CMYK : JCS_RGB;
  cinfo.scale_num = cinfo.scale_denom = 1;
  jpeg_calc_output_dimensions(&cinfo);
  if (!WithinLimits(cinfo.output_width, cinfo.output_height) ||
      cinfo.output_components != (s->cmyk ? 4 : 3)) {
    return false;
  }
  return jpeg_start_decompress(&cinfo) == TRUE;
}

// Writes the pixels, output_width * output_height * 3 bytes, to rgb and
// reads on to the end of the file.
bool ReadPixels(Session* s, unsigned char* rgb) {
  jpeg_decompress_struct& cinfo = s->cinfo;
  if (setjmp(s->jump)) return false;

  const std::size_t stride = std::size_t(cinfo.output_width) * 3;
  JSAMPARRAY cmyk_row = nullptr;
  if (s->cmyk) {
    cmyk_row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                          cinfo.output_width * 4, 1);
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    unsigned char* out = rgb + std::size_t(cinfo.output_scanline) * stride;
    JSAMPROW row = s->cmyk ? cmyk_row[0] : out;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return false;
    if (!s->cmyk) continue;
    // The ink of each channel against white: a stored value v means ink
    // 255 - v when inverted (as Adobe writes it), ink v otherwise.
    const unsigned char* in = row;
    for (JDIMENSION x = 0; x < cinfo.output_width; ++x, in += 4, out += 3) {
      const unsigned k = s->inverted ? in[3] : 255u - in[3];
      for (int c = 0; c < 3; ++c) {
        const unsigned v = s->inverted ? in[c] : 255u - in[c];
        out[c] = static_cast<unsigned char>((v * k + 127) / 255);
      }
    }
  }
  return jpeg_finish_decompress(&cinfo) == TRUE;
}

// Frees what libjpeg holds, however far the session got (the object starts
// zeroed, which jpeg_destroy_decompress takes as nothing to free).
class SessionGuard {
 public:
  explicit SessionGuard(Session* s) : s_(s) {}
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;
  ~SessionGuard() { jpeg_destroy_decompress(&s_->cinfo); }

 private:
  Session* s_;
};

}  // namespace

bool LooksLikeJpeg(std::string_view bytes) {
  return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
         static_cast<unsigned char>(bytes[1]) == 0xD8 &&
         static_cast<unsigned char>(bytes[2]) == 0xFF;
}

std::optional<RgbImage> DecodeJpeg(std::string_view bytes) {
  if (!LooksLikeJpeg(bytes)) return std::nullopt;
  Session session{};
  const SessionGuard guard(&session);
  if (!ReadHeader(&session, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
    return std::nullopt;
  }
  RgbImage image;
  image.width = static_cast<int>(session.cinfo.output_width);
  image.height = static_cast<int>(session.cinfo.output_height);
  try {
    image.rgb.resize(std::size_t(image.width) * std::size_t(image.height) * 3);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (!ReadPixels(&session, image.rgb.data())) return std::nullopt;
  return image;
}

}  // namespace tarvok::pictures
