// Writes the seed corpus of fuzz/fuzz_table_file.cc: small real tables made
// through the store, each as one input (a 4-byte little-endian table length,
// the table file, the companion file). The seeds are committed in
// fuzz/corpus/table_file/; regenerate them after a change to the format code
// with, from the repository root and a built tree in build/:
//
//   c++ -std=c++20 -I. tools/make_table_seeds.cc build/store/libtarvok_store.a
//       build/datetime/libtarvok_datetime.a build/platform/libtarvok_platform.a
//       -lnettle -o /tmp/make_table_seeds
//   /tmp/make_table_seeds fuzz/corpus/table_file
//
// (the first command on one line).
//
// Every table is created on 41365.5 (2013-04-01 12:00), so the output does
// not depend on the day it is made.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "store/format.h"
#include "store/record_store.h"

namespace {

using namespace tarvok;
using store::ByteString;
using store::CodeRef;
using store::FieldDesc;
using store::FieldType;
using store::RecordStore;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "%s failed: store error %d\n", what, store::LastError());
    std::exit(1);
  }
}

class SeedWriter {
 public:
  SeedWriter(std::string work, std::string out) : work_(std::move(work)), out_(std::move(out)) {}

  // Makes an empty table `name` in the work folder and opens it in `s`.
  void Create(RecordStore& s, const std::string& name, const std::vector<FieldDesc>& fields,
              const std::string& password = "") {
    const std::string path = work_ + "/" + name + ".edb";
    auto img = store::EmptyTableImage(fields, 41365.5, 1, "", false);
    WriteAll(path, std::string(img.begin(), img.end()));
    for (const auto& f : fields) {
      if (store::HasChain(f.type)) {
        auto c = store::EmptyCompanionImage(41365.5);
        WriteAll(work_ + "/" + name + ".edt", std::string(c.begin(), c.end()));
        break;
      }
    }
    Check(s.OpenTable(path), "open");
    if (!password.empty()) Check(s.SetPassword(password), "set password");
  }

  // Closes the tables of `s` and writes table `name` as seed `name`.
  void Emit(RecordStore& s, const std::string& name) {
    s.CloseAllTables();
    const std::string table = ReadAll(work_ + "/" + name + ".edb");
    const std::string companion = ReadAll(work_ + "/" + name + ".edt");
    std::string seed(4, '\0');
    store::PutI32(reinterpret_cast<uint8_t*>(seed.data()), int32_t(table.size()));
    WriteAll(out_ + "/" + name, seed + table + companion);
  }

 private:
  std::string work_, out_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  char work[] = "/tmp/make_table_seeds-XXXXXX";
  if (mkdtemp(work) == nullptr) return 1;
  SeedWriter w(work, argv[1]);
  const std::string date = "日期"_gbk, log = "日志"_gbk;

  {  // The empty diary table, as the organiser ships it.
    RecordStore s;
    w.Create(s, "diary_empty", {{date, FieldType::kDateTime, 0, 0}, {log, FieldType::kMemo, 0, 0}});
    w.Emit(s, "diary_empty");
  }
  {  // Diary entries of one and two blocks, a deleted one, a free list.
    RecordStore s;
    w.Create(s, "diary", {{date, FieldType::kDateTime, 0, 0}, {log, FieldType::kMemo, 0, 0}});
    Check(s.AddRecord({DateTime(41365), "今天天气很好。"_gbk}), "add");
    Check(s.AddRecord({DateTime(41366), std::string(501, 'x')}), "add");
    Check(s.AddRecord({DateTime(41367), std::string(600, 'y')}), "add");
    Check(s.AddRecord({DateTime(41368), "删"_gbk}), "add");
    Check(s.DeleteRecord(), "delete");
    Check(s.GoToRecord(2), "go");
    Check(s.WriteField(2, std::string("short")), "write");
    w.Emit(s, "diary");
  }
  {  // Every field type, no chain value empty.
    RecordStore s;
    w.Create(s, "all_types",
             {{"b", FieldType::kByte, 0, 0},      {"i16", FieldType::kInt16, 0, 0},
              {"i32", FieldType::kInt32, 0, 0},   {"i64", FieldType::kInt64, 0, 0},
              {"f32", FieldType::kFloat32, 0, 0}, {"f64", FieldType::kFloat64, 0, 0},
              {"l", FieldType::kLogical, 0, 0},   {"d", FieldType::kDateTime, 0, 0},
              {"c", FieldType::kCodeRef, 0, 0},   {"t", FieldType::kText, 0, 6},
              {"y", FieldType::kBytes, 0, 0},     {"m", FieldType::kMemo, 0, 0}});
    Check(s.AddRecord({uint8_t{7}, int16_t{-2}, int32_t{100000}, int64_t{-5}, 1.5f, 2.25, true,
                       DateTime(41365.5), CodeRef{9}, "名字"_gbk, ByteString{"\x01\x02"}, "备注"_gbk}),
          "add");
    Check(s.AddBlankRecord(), "add");
    w.Emit(s, "all_types");
  }
  {  // A contact-like table without companion file.
    RecordStore s;
    w.Create(s, "plain", {{"姓名"_gbk, FieldType::kText, 0, 10}, {"n", FieldType::kInt32, 0, 0}});
    Check(s.AddRecord({"张三"_gbk, int32_t{1}}), "add");
    Check(s.AddRecord({"李四四四四四"_gbk, int32_t{2}}), "add");
    Check(s.DeleteRecord(), "delete");
    w.Emit(s, "plain");
  }
  {  // Protected with the fuzz target's password.
    RecordStore s;
    w.Create(s, "protected", {{"t", FieldType::kText, 0, 4}, {log, FieldType::kMemo, 0, 0},
                              {"y", FieldType::kBytes, 0, 0}},
             "fuzz");
    Check(s.AddRecord({std::string("ab"), std::string(520, 'p'), ByteString{"zz"}}), "add");
    Check(s.AddRecord({std::string("cd"), "密"_gbk}), "add");
    w.Emit(s, "protected");
  }
  std::filesystem::remove_all(work);
  return 0;
}
