// A table file and its companion file of arbitrary bytes, through the store
// and the consistency check.
//
// Input: a 4-byte little-endian length n, then n bytes of table file, then
// the companion file (the rest of the input). A length beyond the input
// gives all of it to the table; no companion bytes means no companion file.
// A table whose magic says it is protected is opened with the password
// "fuzz", the password of the protected seeds (tools/make_table_seeds.cc).
//
// Each input is opened read-only (every record and field read, then the
// check), then for reading and writing: the check, the same walk, and writes
// of every kind (chains grown, shrunk and emptied, a record appended and
// deleted, a pack). Besides not crashing, hanging or exhausting memory, one
// property is asserted: the store's writes keep a consistent table
// consistent.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store/check.h"
#include "store/journal.h"
#include "store/record_store.h"

namespace {

using tarvok::store::FieldType;
using tarvok::store::RecordStore;

struct Files {
  std::string dir, table, companion, journal, journal_new;
};

const Files& Paths() {
  static const Files files = [] {
    // tmpfs where there is one: the files are rewritten for every input.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string dir = std::string(base) + "/fuzz_table_file-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    tarvok::store::SetDurableJournals(false);
    Files f{dir, dir + "/t.edb", dir + "/t.edt", "", ""};
    f.journal = f.table + "-undo";
    f.journal_new = f.journal + "-new";
    std::atexit([] {
      const Files& p = Paths();
      for (const std::string* file : {&p.table, &p.companion, &p.journal, &p.journal_new})
        unlink(file->c_str());
      rmdir(p.dir.c_str());
    });
    return f;
  }();
  return files;
}

void WriteWhole(const std::string& path, const uint8_t* data, size_t n) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) {
    std::perror(path.c_str());
    std::abort();
  }
  for (size_t done = 0; done < n;) {
    ssize_t w = write(fd, data + done, n - done);
    if (w <= 0) {
      std::perror(path.c_str());
      std::abort();
    }
    done += size_t(w);
  }
  close(fd);
}

// Reads every field of every record slot, moving with GoFirst and Skip.
void Walk(RecordStore& s) {
  const int fields = s.FieldCount();
  s.GoFirst();
  const int32_t count = s.RecordCount();
  for (int32_t k = 0; k < count; ++k) {
    for (int f = 1; f <= fields; ++f) s.ReadField(f);
    if (!s.Skip()) break;
  }
  s.Skip(-1);
  s.GoToRecord(count);
}

// Writes that touch every chain routine: grow, shrink and empty each chain
// of the first record, append a record with every value, delete the first
// record and pack.
void Write(RecordStore& s) {
  const int fields = s.FieldCount();
  std::vector<int> chains;
  std::vector<tarvok::store::OptValue> values;
  for (int f = 1; f <= fields; ++f) {
    const FieldType type = s.FieldInfo(f)->type;
    if (type == FieldType::kMemo) {
      chains.push_back(f);
      values.emplace_back(std::string(1234, 'm'));
    } else if (type == FieldType::kBytes) {
      chains.push_back(f);
      values.emplace_back(tarvok::store::ByteString{std::string(501, '\xb5')});
    } else {
      values.emplace_back(tarvok::store::EmptyValue(type));
    }
  }
  if (s.RecordCount() > 0) {
    s.GoToRecord(1);
    for (int f : chains) {
      s.WriteField(f, std::string(1600, 'g'));
      s.WriteField(f, std::string(7, 's'));
      s.WriteField(f, std::nullopt);
    }
  }
  s.AddRecord(values);
  s.GoToRecord(1);
  s.DeleteRecord();
  s.Pack();
}

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += "  " + l + "\n";
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const Files& p = Paths();
  const uint32_t n = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                     uint32_t(data[3]) << 24;
  const size_t table_size = std::min<size_t>(n, size - 4);
  const uint8_t* table = data + 4;
  const uint8_t* companion = table + table_size;
  const size_t companion_size = size - 4 - table_size;

  WriteWhole(p.table, table, table_size);
  if (companion_size > 0) {
    WriteWhole(p.companion, companion, companion_size);
  } else {
    unlink(p.companion.c_str());
  }
  unlink(p.journal.c_str());
  unlink(p.journal_new.c_str());

  tarvok::store::OpenOptions options;
  if (table_size >= 4 && std::memcmp(table, "WCDB", 4) == 0) options.password = "fuzz";
  std::vector<std::string> problems;

  {
    RecordStore s;
    options.access = tarvok::store::Access::kReadOnly;
    if (s.OpenTable(p.table, options)) {
      Walk(s);
      tarvok::store::CheckCurrentTable(s, &problems);
    }
  }
  {
    RecordStore s;
    options.access = tarvok::store::Access::kReadWrite;
    if (s.OpenTable(p.table, options)) {
      const bool consistent = tarvok::store::CheckCurrentTable(s, &problems) == 0 && problems.empty();
      Walk(s);
      Write(s);
      Walk(s);
      if (consistent && tarvok::store::CheckCurrentTable(s, &problems) == 0 && !problems.empty()) {
        std::fprintf(stderr, "the store's writes left a consistent table with problems:\n%s",
                     Join(problems).c_str());
        std::abort();
      }
    }
  }
  return 0;
}
