// Text crossing between the system (GBK bytes in std::string) and Qt
// (QString). Every unit, box and dialog in ui/ converts through here, with
// GB18030, so what a user types that GBK lacks (an emoji) survives as its
// four-byte form instead of being lost.
#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvok::ui {

// GBK/GB18030 bytes -> QString. Undecodable bytes show as U+FFFD.
QString FromGbk(std::string_view gbk);

// QString -> GB18030 bytes (GBK for every GBK character).
std::string ToGbk(QStringView text);

// How a line break of a text counts in bytes: a multi-line edit box holds
// its breaks as "\r\n" in the system's texts, a QString holds "\n".
enum class LineBreaks { kAsIs, kCrLf };

// The GBK length of `text` in bytes.
std::size_t GbkByteLength(QStringView text, LineBreaks breaks = LineBreaks::kAsIs);

// The number of QChars of the longest prefix of `text` whose GBK form takes
// at most `limit` bytes. The prefix ends on a character boundary: a
// double-byte character, a four-byte one (a surrogate pair in the QString)
// and a "\n" counted as "\r\n" are kept whole or not at all.
qsizetype GbkPrefixWithin(QStringView text, std::size_t limit,
                          LineBreaks breaks = LineBreaks::kAsIs);

// "\r\n" -> "\n" for a multi-line widget, and back for the system.
QString FromGbkCrLf(std::string_view gbk);
std::string ToGbkCrLf(QStringView text);

}  // namespace tarvok::ui
