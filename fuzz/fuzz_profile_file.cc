// Arbitrary bytes as a settings file, read and written through the
// profile-file routines.
//
// Input: byte 0 picks the section of the write (its top bit: no file at all,
// the rest of the input then unused), byte 1 the key, byte 2 the length n of
// the value, the next n bytes the value, the rest the file. Sections and keys
// come from a fixed list of names that compare alike or apart in known ways
// (ASCII case, blanks around them, GBK characters whose second byte is a
// letter), some of which the file cannot hold.
//
// Asserted, besides not crashing: no read gives more than the read buffer
// holds; the write is refused exactly for the names and values the file
// cannot hold, and a refused write changes nothing; after a write the key
// reads as written under every name that compares alike, every other name
// of the list reads as before, the changed bytes of the old file lie within
// one line, and nothing is left beside the file.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/gbk.h"
#include "platform/profile_file.h"
#include "fuzz/fuzz_support.h"

namespace {

using tarvok::fuzz::Require;
using tarvok::fuzz::Spill;

using tarvok::platform::kProfileReadBuffer;
using tarvok::platform::ReadProfileString;
using tarvok::platform::WriteProfileString;

// A name and the class of names it equals; negative for one a write refuses:
// -1 when no line of a file gives that name, -2 when one can.
struct Name {
  std::string bytes;
  int group;
};

const std::vector<Name>& Sections() {
  static const auto* names = new std::vector<Name>{
      {"s", 0},
      {"S", 0},
      {" s\t", 0},
      {tarvok::Utf8ToGbk("全局热键"), 1},
      {"\x81\x41", 2},
      {"\x81\x61", 3},
      {"\x81\x41x", 4},
      {"\x81\x41X", 4},
      {"t", 5},
      {"", 6},
      {"[s", 7},
      {"a]b", -1},
      {"a\x81", -2},  // "[a\x81 ]" gives it; "[a\x81]" does not
      {"s\n", -1},
  };
  return *names;
}

const std::vector<Name>& Keys() {
  static const auto* names = new std::vector<Name>{
      {"k", 0},
      {"K", 0},
      {"\tk ", 0},
      {tarvok::Utf8ToGbk("呼出热键"), 1},
      {"\x81\x41", 2},
      {"\x81\x61", 3},
      {"k]", 4},
      {"k;", 5},
      {"", -1},
      {";k", -1},
      {"[k", -1},
      {"a=b", -1},
  };
  return *names;
}

struct Paths {
  std::string dir, file, temp;
};

// Never destroyed: the exit hook that removes the files runs after every
// static destructor.
const Paths& Files() {
  static const Paths* paths = [] {
    const std::string dir = tarvok::fuzz::MakeScratchFolder("fuzz_profile_file");
    auto* p = new Paths{dir, dir + "/config.ini", dir + "/config.ini-new"};
    std::atexit([] {
      unlink(Files().file.c_str());
      unlink(Files().temp.c_str());
      rmdir(Files().dir.c_str());
    });
    return p;
  }();
  return *paths;
}

// The file's bytes, or nothing with *exists false.
std::string Slurp(const std::string& path, bool* exists) {
  std::string s;
  const int fd = open(path.c_str(), O_RDONLY);
  *exists = fd >= 0;
  if (fd < 0) return s;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) s.append(buf, size_t(n));
  close(fd);
  return s;
}

bool HoldsLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const Paths& files = Files();
  const auto& sections = Sections();
  const auto& keys = Keys();
  const bool no_file = (data[0] & 0x80) != 0;
  const Name& section = sections[(data[0] & 0x7F) % sections.size()];
  const Name& key = keys[data[1] % keys.size()];
  const size_t n = std::min<size_t>(data[2], size - 3);
  const std::string value(reinterpret_cast<const char*>(data + 3), n);
  const std::string_view file(reinterpret_cast<const char*>(data + 3 + n), size - 3 - n);

  if (no_file) {
    unlink(files.file.c_str());
  } else {
    Spill(files.file, file);
  }

  // No value can hold a line break, so this default tells an absent key.
  static const std::string kAbsent = "\nabsent";
  // Every pair of names a write takes; the others are only read, once,
  // beside a name a write takes.
  std::vector<std::string> before;
  for (const Name& s : sections) {
    for (const Name& k : keys) {
      if (s.group < 0 || k.group < 0) continue;
      before.push_back(ReadProfileString(files.file, s.bytes, k.bytes, kAbsent));
      Require(before.back().size() < kProfileReadBuffer, "a read fits the buffer");
    }
  }
  for (const Name& s : sections) {
    const std::string got = ReadProfileString(files.file, s.bytes, "k", kAbsent);
    if (s.group == -1) Require(got == kAbsent, "a section no line gives is absent");
  }
  for (const Name& k : keys) {
    const std::string got = ReadProfileString(files.file, "s", k.bytes, kAbsent);
    if (k.group == -1) Require(got == kAbsent, "a key no line gives is absent");
  }

  bool existed = false;
  const std::string old_bytes = Slurp(files.file, &existed);
  const int rc = WriteProfileString(files.file, section.bytes, key.bytes, value);
  const bool holdable = section.group >= 0 && key.group >= 0 && !HoldsLineBreakOrNul(value);
  Require(rc == (holdable ? 0 : EINVAL), "a write is refused exactly when the file cannot hold it");
  bool exists = false;
  const std::string new_bytes = Slurp(files.file, &exists);
  Require(access(files.temp.c_str(), F_OK) != 0, "nothing is left beside the file");
  if (rc != 0) {
    Require(exists == existed && new_bytes == old_bytes, "a refused write changes nothing");
    return 0;
  }
  Require(exists, "a write makes the file");

  size_t i = 0;
  for (const Name& s : sections) {
    for (const Name& k : keys) {
      if (s.group < 0 || k.group < 0) continue;
      if (&s == &section && &k == &key && before[i] == value)
        Require(new_bytes == old_bytes, "writing the present value changes nothing");
      const std::string now = ReadProfileString(files.file, s.bytes, k.bytes, kAbsent);
      if (s.group == section.group && k.group == key.group) {
        Require(now == value, "the key reads as written under every name alike");
      } else {
        Require(now == before[i], "every other key reads as before");
      }
      ++i;
    }
  }

  // Replacing a value changes bytes within its line; adding lines inserts
  // bytes (after an ending given to a last line that had none).
  size_t prefix = 0, suffix = 0;
  const size_t shorter = std::min(old_bytes.size(), new_bytes.size());
  while (prefix < shorter && old_bytes[prefix] == new_bytes[prefix]) ++prefix;
  while (suffix < shorter - prefix &&
         old_bytes[old_bytes.size() - 1 - suffix] == new_bytes[new_bytes.size() - 1 - suffix])
    ++suffix;
  const std::string_view changed =
      std::string_view(old_bytes).substr(prefix, old_bytes.size() - prefix - suffix);
  Require(changed.find('\n') == std::string_view::npos, "every other line keeps its bytes");
  return 0;
}
