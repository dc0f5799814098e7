#include "ui/gbk_text.h"

#include "platform/gbk.h"

namespace tarvok::ui {
namespace {

// QChars of the character starting at text[i].
qsizetype CharLength(QStringView text, qsizetype i) {
  return text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
}

// Bytes of the GB18030 sequence starting at gb[p]: ASCII 1, a second byte
// '0'..'9' marks the four-byte form, everything else is double-byte.
std::size_t SequenceLength(const std::string& gb, std::size_t p) {
  const auto b0 = static_cast<unsigned char>(gb[p]);
  if (b0 < 0x80) return 1;
  if (p + 1 < gb.size()) {
    const auto b1 = static_cast<unsigned char>(gb[p + 1]);
    if (b1 >= 0x30 && b1 <= 0x39) return 4;
  }
  return 2;
}

}  // namespace

QString FromGbk(std::string_view gbk) {
  const std::string utf8 = GbkToUtf8(gbk);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToGbk(QStringView text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToGb18030(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

qsizetype GbkPrefixWithin(QStringView text, std::size_t limit, LineBreaks breaks) {
  // One conversion of the whole text, then the characters and their byte
  // sequences are walked side by side: each character is one sequence.
  const std::string gb = ToGbk(text);
  std::size_t bytes = 0;
  std::size_t p = 0;
  qsizetype i = 0;
  while (i < text.size() && p < gb.size()) {
    const std::size_t seq = SequenceLength(gb, p);
    const std::size_t cost = (breaks == LineBreaks::kCrLf && text[i] == u'\n') ? 2 : seq;
    if (bytes + cost > limit) break;
    bytes += cost;
    p += seq;
    i += CharLength(text, i);
  }
  return i;
}

std::size_t GbkByteLength(QStringView text, LineBreaks breaks) {
  std::size_t n = ToGbk(text).size();
  if (breaks == LineBreaks::kCrLf) n += static_cast<std::size_t>(text.count(u'\n'));
  return n;
}

QString FromGbkCrLf(std::string_view gbk) {
  QString s = FromGbk(gbk);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

std::string ToGbkCrLf(QStringView text) {
  QString s = text.toString();
  s.replace(u'\n', QStringLiteral("\r\n"));
  return ToGbk(s);
}

}  // namespace tarvok::ui
