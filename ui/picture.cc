#include "ui/picture.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstring>
#include <optional>

#include "pictures/jpeg_decode.h"

namespace tarvok::ui {

QImage DecodePicture(std::string_view bytes) {
  if (!pictures::LooksLikeJpeg(bytes)) {
    return QImage::fromData(
        QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  }
  const std::optional<pictures::RgbImage> rgb = pictures::DecodeJpeg(bytes);
  if (!rgb) return {};
  QImage image(rgb->width, rgb->height, QImage::Format_RGB888);
  if (image.isNull()) return {};  // no memory for it
  // QImage pads its rows to 4 bytes; the decoded rows are packed.
  const std::size_t row = std::size_t(rgb->width) * 3;
  for (int y = 0; y < rgb->height; ++y) {
    std::memcpy(image.scanLine(y), rgb->rgb.data() + std::size_t(y) * row, row);
  }
  return image;
}

}  // namespace tarvok::ui
