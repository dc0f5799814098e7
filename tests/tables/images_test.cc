// The six built-in images against the layout the organiser has always
// written, byte for byte. The expected files are put together here from
// literal numbers (offsets, widths, type codes, the created bytes), not from
// the table definitions, so a wrong field order, width or created value in
// tables.cc shows up as the first byte that differs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gbk.h"
#include "store/format.h"
#include "tables/tables.h"

namespace tarvok::tables {
namespace {

struct ExpectedField {
  const char* name_utf8;
  int32_t type;  // 3 Int32, 8 DateTime, 10 Text, 12 Memo
  int32_t offset;
  int32_t width;  // Text only
};

struct ExpectedFile {
  const char* file;
  size_t size;
  const char* magic;
  uint8_t created[8];
  int32_t next_id;  // table files only
  int32_t record_size;
  std::vector<ExpectedField> fields;  // empty for a companion file
};

const std::vector<ExpectedFile>& Expected() {
  static const std::vector<ExpectedFile> files = {
      {"rz35.edb", 260, "WEDB", {0xc0, 0x42, 0x70, 0x48, 0xbd, 0x32, 0xe4, 0x40}, 209, 16,
       {{"日期", 8, 4, 0}, {"日志", 12, 12, 0}}},
      {"rz35.edt", 512, "WEDT", {0xc0, 0x42, 0x70, 0x48, 0xbd, 0x32, 0xe4, 0x40}, 0, 0, {}},
      {"tx35.edb", 404, "WEDB", {0x1b, 0xe8, 0xb4, 0xc1, 0x7b, 0x36, 0xe4, 0x40}, 15, 118,
       {{"初始日期", 8, 4, 0}, {"循环周期", 3, 12, 0}, {"循环单位", 10, 16, 2},
        {"提醒内容", 10, 18, 100}}},
      {"bw35.edb", 188, "WEDB", {0xfe, 0x2b, 0x04, 0x07, 0xdf, 0x32, 0xe4, 0x40}, 7, 8,
       {{"bw", 12, 4, 0}}},
      {"bw35.edt", 512, "WEDT", {0xfe, 0x2b, 0x04, 0x07, 0xdf, 0x32, 0xe4, 0x40}, 0, 0, {}},
      {"lxr35.edb", 332, "WEDB", {0x4f, 0x05, 0x66, 0xb1, 0x7b, 0x36, 0xe4, 0x40}, 8, 129,
       {{"姓名", 10, 4, 10}, {"电话", 10, 14, 15}, {"备注", 10, 29, 100}}},
  };
  return files;
}

void Put32(std::vector<uint8_t>* b, size_t at, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

// The whole file as the format lays it out; every byte not set here is zero.
std::vector<uint8_t> Build(const ExpectedFile& e) {
  std::vector<uint8_t> b(e.size, 0);
  std::memcpy(b.data(), e.magic, 4);
  Put32(&b, 0x04, 0x10000);
  std::memcpy(b.data() + 0x08, e.created, 8);
  if (e.fields.empty()) {
    Put32(&b, 0x10, 1);  // block count; free count and first free stay 0
    return b;
  }
  Put32(&b, 0x14, e.next_id);  // record count 0x10 stays 0
  Put32(&b, 0x18, e.record_size);
  Put32(&b, 0x70, static_cast<int32_t>(e.fields.size()));
  for (size_t i = 0; i < e.fields.size(); ++i) {
    const size_t d = 0x74 + 72 * i;
    const std::string name = Utf8ToGbk(e.fields[i].name_utf8);
    std::memcpy(b.data() + d, name.data(), name.size());
    Put32(&b, d + 0x14, e.fields[i].type);
    Put32(&b, d + 0x18, e.fields[i].offset);
    Put32(&b, d + 0x1C, e.fields[i].width);
  }
  return b;
}

TEST(TableImages, SixFilesInWritingOrder) {
  const auto& images = TableImages();
  ASSERT_EQ(images.size(), Expected().size());
  for (size_t i = 0; i < images.size(); ++i) {
    EXPECT_STREQ(images[i].file, Expected()[i].file) << "image " << i;
  }
}

TEST(TableImages, EveryByteAsLaidOut) {
  const auto& images = TableImages();
  ASSERT_EQ(images.size(), Expected().size());
  for (size_t i = 0; i < images.size(); ++i) {
    const ExpectedFile& e = Expected()[i];
    const std::vector<uint8_t>& got = images[i].bytes;
    SCOPED_TRACE(e.file);
    ASSERT_EQ(got.size(), e.size);
    const std::vector<uint8_t> want = Build(e);
    for (size_t at = 0; at < want.size(); ++at) {
      ASSERT_EQ(got[at], want[at]) << "first difference at byte " << at;
    }
  }
}

// The named values once more, read back through the format's own decoder:
// the created double, and the sizes that follow from the field counts.
TEST(TableImages, HeadersDecodeToTheNamedValues) {
  struct Row {
    const char* file;
    double created;
    int32_t next_id;
    int32_t record_size;
    size_t field_count;
  };
  const Row rows[] = {
      {"rz35.edb", 41365.91509259259, 209, 16, 2},
      {"tx35.edb", 41395.86739583333, 15, 118, 4},
      {"bw35.edb", 41366.96960648148, 7, 8, 1},
      {"lxr35.edb", 41395.86540509259, 8, 129, 3},
  };
  const auto& images = TableImages();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.file);
    const TableImage* img = nullptr;
    for (const auto& i : images) {
      if (std::strcmp(i.file, r.file) == 0) img = &i;
    }
    ASSERT_NE(img, nullptr);
    ASSERT_EQ(img->bytes.size(), 116 + 72 * r.field_count);
    const store::TableHeader h = store::DecodeTableHeader(img->bytes.data());
    EXPECT_EQ(h.created, r.created);
    EXPECT_EQ(h.record_count, 0);
    EXPECT_EQ(h.next_id, r.next_id);
    EXPECT_EQ(h.record_size, r.record_size);
    EXPECT_EQ(store::GetI32(img->bytes.data() + store::kOffFieldCount),
              static_cast<int32_t>(r.field_count));
  }
}

TEST(TableDefs, LayoutsMatchTheImages) {
  const TableDef* defs[] = {&DiaryTable(), &EventTable(), &MemoTable(), &ContactTable()};
  const char* names[] = {"rz35", "tx35", "bw35", "lxr35"};
  ASSERT_EQ(AllTables().size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(AllTables()[i], defs[i]) << "opening order";
    EXPECT_STREQ(defs[i]->name, names[i]);
    EXPECT_EQ(std::string(defs[i]->file), std::string(names[i]) + ".edb");
    EXPECT_EQ(store::TableNameOf(defs[i]->file), names[i]);
  }
  EXPECT_STREQ(DiaryTable().companion, "rz35.edt");
  EXPECT_EQ(EventTable().companion, nullptr);
  EXPECT_STREQ(MemoTable().companion, "bw35.edt");
  EXPECT_EQ(ContactTable().companion, nullptr);

  // Each definition against the descriptors of its expected image.
  const size_t table_rows[] = {0, 2, 3, 5};
  for (size_t i = 0; i < 4; ++i) {
    const ExpectedFile& e = Expected()[table_rows[i]];
    SCOPED_TRACE(e.file);
    EXPECT_EQ(defs[i]->record_size, static_cast<uint32_t>(e.record_size));
    EXPECT_EQ(defs[i]->next_id, e.next_id);
    ASSERT_EQ(defs[i]->fields.size(), e.fields.size());
    for (size_t f = 0; f < e.fields.size(); ++f) {
      const store::FieldDesc& d = defs[i]->fields[f];
      EXPECT_EQ(d.name, Utf8ToGbk(e.fields[f].name_utf8));
      EXPECT_EQ(static_cast<int32_t>(d.type), e.fields[f].type);
      EXPECT_EQ(d.offset, static_cast<uint32_t>(e.fields[f].offset));
    }
  }
}

TEST(TableDefs, FieldNameAccessorsGiveTheGbkNames) {
  const struct {
    const std::string& got;
    const char* gbk;
  } rows[] = {
      {DiaryDateField(), "\xC8\xD5\xC6\xDA"},                    // 日期
      {DiaryTextField(), "\xC8\xD5\xD6\xBE"},                    // 日志
      {EventStartField(), "\xB3\xF5\xCA\xBC\xC8\xD5\xC6\xDA"},   // 初始日期
      {EventPeriodField(), "\xD1\xAD\xBB\xB7\xD6\xDC\xC6\xDA"},  // 循环周期
      {EventUnitField(), "\xD1\xAD\xBB\xB7\xB5\xA5\xCE\xBB"},    // 循环单位
      {EventTextField(), "\xCC\xE1\xD0\xD1\xC4\xDA\xC8\xDD"},    // 提醒内容
      {MemoTextField(), "bw"},
      {ContactNameField(), "\xD0\xD5\xC3\xFB"},    // 姓名
      {ContactPhoneField(), "\xB5\xE7\xBB\xB0"},   // 电话
      {ContactRemarkField(), "\xB1\xB8\xD7\xA2"},  // 备注
  };
  for (const auto& r : rows) EXPECT_EQ(r.got, r.gbk);
}

TEST(RecurrenceUnits, TextsAndParsing) {
  const struct {
    RecurrenceUnit unit;
    const char* gbk;
  } rows[] = {
      {RecurrenceUnit::kYear, "\xC4\xEA"},   // 年
      {RecurrenceUnit::kMonth, "\xD4\xC2"},  // 月
      {RecurrenceUnit::kDay, "\xC8\xD5"},    // 日
      {RecurrenceUnit::kWeek, "\xD6\xDC"},   // 周
  };
  for (const auto& r : rows) {
    EXPECT_EQ(RecurrenceUnitText(r.unit), r.gbk);
    EXPECT_EQ(RecurrenceUnitFromText(r.gbk), r.unit);
  }
  EXPECT_EQ(RecurrenceUnitText(RecurrenceUnit::kNone), "");

  const char* not_units[] = {
      "",          // an empty field
      "\xC4",      // half a character
      "\xC4\xEA ", // with a trailing byte
      "\xCC\xEC",  // 天, a day but not the stored word
      "Y",
  };
  for (const char* t : not_units) {
    EXPECT_EQ(RecurrenceUnitFromText(t), RecurrenceUnit::kNone) << t;
  }
}

}  // namespace
}  // namespace tarvok::tables
