// A picture file's bytes to a QImage, for the title picture boxes.
#pragma once

#include <QImage>

#include <string_view>

namespace tarvok::ui {

// JPEG bytes (they start FF D8 FF) go through pictures::DecodeJpeg and come
// back as Format_RGB888; anything else (GIF, PNG, BMP ...) goes to Qt's
// image readers. A null QImage for bytes that are no picture, including
// JPEG bytes DecodeJpeg refuses (damaged, cut short, too large).
QImage DecodePicture(std::string_view bytes);

}  // namespace tarvok::ui
