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
// of every kind (chains grown, shrunk and emptied, records appended,
// rewritten and deleted, a pack, the records appended to a copy of the
// structure) unless the records are huge. Besides not crashing, hanging or
// exhausting memory, two properties are asserted: each of the store's
// writes keeps a consistent table consistent, and so does appending to the
// copy; and the store opens every copy of a structure it made.
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
#include "store/table.h"
#include "fuzz/fuzz_support.h"

namespace {


// A header may declare records of up to 2 GiB, and an appended record is
// written whole: lawful, but seconds per input. Larger records are only read.
constexpr uint32_t kMaxWrittenRecord = 1 << 16;

using tarvok::store::CheckCurrentTable;
using tarvok::store::FieldType;
using tarvok::store::RecordStore;

// The files of one run, in a private folder made once per process.
struct Files {
  std::string dir;
  std::vector<std::string> all;  // every name a run may leave behind
  std::string table, companion, copy;
};

// Never destroyed: the exit hook that removes the files runs after every
// static destructor.
const Files& Paths() {
  static const Files* files = [] {
    const std::string dir = tarvok::fuzz::MakeScratchFolder("fuzz_table_file");
    tarvok::store::SetDurableJournals(false);
    auto* f = new Files{dir, {}, dir + "/t.edb", dir + "/t.edt", dir + "/u.edb"};
    for (const char* name : {"t.edb", "t.edt", "t.edb-undo", "t.edb-undo-new", "u.edb", "u.edt",
                             "u.edb-undo", "u.edb-undo-new"})
      f->all.push_back(dir + "/" + name);
    std::atexit([] {
      for (const auto& file : Paths().all) unlink(file.c_str());
      rmdir(Paths().dir.c_str());
    });
    return f;
  }();
  return *files;
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

void ReadAllFields(RecordStore& s) {
  const int fields = s.FieldCount();
  for (int f = 1; f <= fields; ++f) s.ReadField(f);
}

// Reads every field of every record slot, moving with GoFirst and Skip.
void Walk(RecordStore& s) {
  s.GoFirst();
  const int32_t count = s.RecordCount();
  for (int32_t k = 0; k < count; ++k) {
    ReadAllFields(s);
    if (!s.Skip()) break;
  }
  s.Skip(-1);
  s.GoToRecord(count);
}

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += "  " + l + "\n";
  return s;
}

// Aborts when the current table is found inconsistent after `what`.
void RequireConsistent(RecordStore& s, const char* what) {
  std::vector<std::string> problems;
  if (CheckCurrentTable(s, &problems) == 0 && !problems.empty()) {
    std::fprintf(stderr, "%s left problems in a consistent table:\n%s", what, Join(problems).c_str());
    std::abort();
  }
}

// Writes that touch every chain routine: grow, shrink and empty each chain
// of the first record; append a record with every value and a blank one,
// rewrite both; delete records one by one and by a condition; pack. When the
// table was consistent, it is checked again after every operation.
void Write(RecordStore& s, bool consistent) {
  auto step = [&](const char* what) {
    if (consistent) RequireConsistent(s, what);
  };
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
      step("growing a chain");
      s.WriteField(f, std::string(7, 's'));
      step("shrinking a chain");
      s.WriteField(f, std::nullopt);
      step("emptying a chain");
    }
  }
  s.AddRecord(values);
  step("AddRecord");
  s.AddBlankRecord();
  step("AddBlankRecord");
  s.ModifyRecord(values);
  step("ModifyRecord");
  s.GoToRecord(1);
  s.ModifyRecord({});
  s.DeleteRecord();
  step("DeleteRecord");
  s.GoFirst();
  s.FindRecord([&] {
    ReadAllFields(s);
    return false;
  });
  int seen = 0;
  s.DeleteRecord([&] {
    ReadAllFields(s);
    return ++seen % 3 == 0;
  });
  step("DeleteRecord with a condition");
  s.Pack();
  step("Pack");
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

  for (const auto& file : p.all) unlink(file.c_str());
  WriteWhole(p.table, table, table_size);
  if (companion_size > 0) WriteWhole(p.companion, companion, companion_size);

  tarvok::store::OpenOptions options;
  if (table_size >= 4 && std::memcmp(table, "WCDB", 4) == 0) options.password = "fuzz";
  std::vector<std::string> problems;

  {
    RecordStore s;
    options.access = tarvok::store::Access::kReadOnly;
    if (s.OpenTable(p.table, options)) {
      Walk(s);
      CheckCurrentTable(s, &problems);
    }
  }

  RecordStore s;
  options.access = tarvok::store::Access::kReadWrite;
  if (!s.OpenTable(p.table, options)) return 0;
  const bool consistent = CheckCurrentTable(s, &problems) == 0 && problems.empty();
  Walk(s);
  if (s.current()->record_size > kMaxWrittenRecord) return 0;
  Write(s, consistent);
  Walk(s);

  // The structure copied, opened, and the records appended to it.
  if (!s.CopyStructure(p.copy)) return 0;
  if (!s.OpenTable(p.copy, options)) {
    std::fprintf(stderr, "the store cannot open the copy it made: error %d\n", tarvok::store::LastError());
    std::abort();
  }
  if (s.current()->record_size > kMaxWrittenRecord) return 0;
  s.AppendFrom("t");
  Walk(s);
  if (consistent) RequireConsistent(s, "AppendFrom");
  return 0;
}
