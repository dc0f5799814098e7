#include "platform/profile_file.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/file.h"
#include "platform/whole_file.h"

namespace tarvok::platform {
namespace {

constexpr std::string_view kTempSuffix = "-new";
constexpr std::string_view kNativeEnding = "\r\n";

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}
bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }
unsigned char At(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

// Bytes of the character starting at s[i]: a GBK pair, a GB18030 four-byte
// sequence, or a single byte (ASCII, or a byte that starts no character).
size_t CharLength(std::string_view s, size_t i) {
  if (!IsLead(At(s, i)) || i + 1 >= s.size()) return 1;
  if (IsTrail(At(s, i + 1))) return 2;
  if (IsDigit(At(s, i + 1)) && i + 3 < s.size() && IsLead(At(s, i + 2)) && IsDigit(At(s, i + 3)))
    return 4;
  return 1;
}

// Blanks are ASCII bytes below 0x40, never part of a multi-byte character,
// so they can be stripped bytewise from either end.
std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(At(s, 0))) s.remove_prefix(1);
  while (!s.empty() && IsBlank(At(s, s.size() - 1))) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size();) {
    const size_t n = CharLength(a, i);
    if (n == 1) {
      if (Fold(At(a, i)) != Fold(At(b, i))) return false;
    } else if (a.substr(i, n) != b.substr(i, n)) {
      return false;
    }
    i += n;
  }
  return true;
}

std::string_view CutToBuffer(std::string_view s) {
  constexpr size_t kMax = kProfileReadBuffer - 1;
  if (s.size() <= kMax) return s;
  size_t end = 0;
  while (end + CharLength(s, end) <= kMax) end += CharLength(s, end);
  return s.substr(0, end);
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

bool NeedsQuotes(std::string_view v) {
  return !v.empty() && (IsBlank(At(v, 0)) || IsBlank(At(v, v.size() - 1)) || Unquote(v) != v);
}

struct Line {
  size_t begin = 0;
  size_t text_end = 0;  // before the "\r\n" or "\n"
  size_t end = 0;       // after it
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin < content.size()) {
    const size_t nl = content.find('\n', begin);
    if (nl == std::string_view::npos) {
      lines.push_back({begin, content.size(), content.size()});
      break;
    }
    const size_t text_end = nl > begin && content[nl - 1] == '\r' ? nl - 1 : nl;
    lines.push_back({begin, text_end, nl + 1});
    begin = nl + 1;
  }
  return lines;
}

enum class Kind { kOther, kHeader, kKey };

struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;   // of the section or the key
  std::string_view value;  // as it stands, quotes included
  size_t value_begin = 0;  // offset of the value in the line's text
};

Parsed ParseLine(std::string_view text) {
  Parsed p;
  const std::string_view t = Trim(text);
  if (t.empty() || t[0] == ';') return p;
  if (t[0] == '[') {
    // A ']' can be the second byte of a GBK character; only a ']' standing
    // alone closes the name.
    for (size_t i = 1; i < t.size(); i += CharLength(t, i)) {
      if (t[i] == ']' && CharLength(t, i) == 1) {
        p.kind = Kind::kHeader;
        p.name = Trim(t.substr(1, i - 1));
        break;
      }
    }
    return p;
  }
  const size_t eq = text.find('=');  // '=' is never part of a multi-byte character
  if (eq == std::string_view::npos) return p;
  p.kind = Kind::kKey;
  p.name = Trim(text.substr(0, eq));
  p.value_begin = eq + 1;
  while (p.value_begin < text.size() && IsBlank(At(text, p.value_begin))) ++p.value_begin;
  p.value = Trim(text.substr(p.value_begin));
  return p;
}

struct Lookup {
  std::optional<size_t> key_line;     // the first occurrence of the key
  Parsed key;                         // its parse
  std::optional<size_t> section_end;  // the header or last key line of the
                                      // section's first occurrence
};

Lookup Find(std::string_view content, const std::vector<Line>& lines, std::string_view section,
            std::string_view key) {
  Lookup found;
  bool inside = false, inside_first = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Parsed p = ParseLine(content.substr(lines[i].begin, lines[i].text_end - lines[i].begin));
    if (p.kind == Kind::kHeader) {
      inside = SameName(p.name, section);
      inside_first = inside && !found.section_end;
      if (inside_first) found.section_end = i;
    } else if (p.kind == Kind::kKey && inside) {
      if (inside_first) found.section_end = i;
      if (SameName(p.name, key)) {
        found.key_line = i;
        found.key = p;
        break;
      }
    }
  }
  return found;
}

// The whole file. A read may come back short while someone else changes the
// file, so it reads on until a read gives nothing.
int ReadWhole(FileSystem* fs, const std::string& path, std::string* out) {
  std::unique_ptr<File> file;
  int err = fs->Open(path, Access::kReadOnly, Sharing::kShared, Disposition::kOpenExisting, &file);
  if (err != 0) return err;
  std::string& s = *out;
  s.assign(4096, '\0');
  size_t have = 0;
  for (;;) {
    if (have == s.size()) s.resize(s.size() * 2);
    size_t got = 0;
    if ((err = file->Read(have, s.data() + have, s.size() - have, &got)) != 0) return err;
    if (got == 0) break;
    have += got;
  }
  s.resize(have);
  return 0;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view default_value) {
  section = Trim(section);
  key = Trim(key);
  std::string content;
  if (key.empty() || ReadWhole(CurrentFileSystem(), path, &content) != 0)
    return std::string(CutToBuffer(default_value));
  const Lookup found = Find(content, SplitLines(content), section, key);
  if (!found.key_line) return std::string(CutToBuffer(default_value));
  return std::string(CutToBuffer(Unquote(found.key.value)));
}

int WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value))
    return EINVAL;
  const std::string header = "[" + std::string(section) + "]";
  const std::string written_value =
      NeedsQuotes(value) ? "\"" + std::string(value) + "\"" : std::string(value);
  const std::string key_line = std::string(key) + "=" + written_value;
  // The new lines must read back as what they were made from; this refuses
  // every name the file cannot hold, whatever the reason.
  const Parsed h = ParseLine(header), k = ParseLine(key_line);
  if (h.kind != Kind::kHeader || h.name != section || k.kind != Kind::kKey || k.name != key ||
      key.empty() || Unquote(k.value) != value)
    return EINVAL;

  FileSystem* fs = CurrentFileSystem();
  std::string content;
  const int err = ReadWhole(fs, path, &content);
  if (err == ENOENT) {
    content.clear();
  } else if (err != 0) {
    return err;  // writing now would lose what the file holds
  }

  const std::vector<Line> lines = SplitLines(content);
  const Lookup found = Find(content, lines, section, key);
  std::string ending(kNativeEnding);
  if (!lines.empty() && lines[0].text_end != lines[0].end)
    ending = content.substr(lines[0].text_end, lines[0].end - lines[0].text_end);

  std::string next;
  if (found.key_line) {
    if (Unquote(found.key.value) == value) return 0;
    const Line& at = lines[*found.key_line];
    next = content.substr(0, at.begin + found.key.value_begin);
    next += written_value;
    next += std::string_view(content).substr(at.text_end);
  } else {
    // New lines go after line `after` (or at the end); a last line without
    // an ending gets one first.
    std::string added;
    size_t after = lines.empty() ? 0 : lines.size() - 1;
    if (found.section_end) {
      after = *found.section_end;
    } else {
      added = header + ending;
    }
    added += key_line + ending;
    const size_t split = lines.empty() ? 0 : lines[after].end;
    next = content.substr(0, split);
    if (!lines.empty() && lines[after].text_end == lines[after].end) next += ending;
    next += added;
    next += std::string_view(content).substr(split);
  }
  return WriteWholeFile(path, next, kTempSuffix);
}

}  // namespace tarvok::platform
