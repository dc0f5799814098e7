// Password protection: verifier, page cipher, prompt mode, SetPassword.
#include <gtest/gtest.h>

#include <filesystem>

#include "store/cipher.h"
#include "tests/store/store_util.h"

namespace tarvok::test {
namespace {

using store::LastError;

// RC4 written out again from its definition, to check the store's cipher
// against something it does not share code with.
struct Rc4 {
  uint8_t s[256];
  uint8_t i = 0, j = 0;
  explicit Rc4(const std::string& key) {
    for (int x = 0; x < 256; ++x) s[x] = uint8_t(x);
    uint8_t jj = 0;
    for (int x = 0; x < 256; ++x) {
      jj = uint8_t(jj + s[x] + uint8_t(key[size_t(x) % key.size()]));
      std::swap(s[x], s[jj]);
    }
  }
  uint8_t Next() {
    i = uint8_t(i + 1);
    j = uint8_t(j + s[i]);
    std::swap(s[i], s[j]);
    return s[uint8_t(s[i] + s[j])];
  }
};

// The key-stream byte that enciphers file offset p under `password`.
uint8_t StreamByte(const std::string& password, uint64_t p) {
  const uint64_t k = p / 4096;
  Rc4 words(password);
  uint32_t w = 0;
  for (uint64_t n = 0; n < 4 * k + 4; ++n) {
    uint8_t b = words.Next();
    if (n >= 4 * k) w |= uint32_t(b) << (8 * (n - 4 * k));
  }
  std::string page_key(40, '\0');
  const uint32_t wk = w ^ uint32_t(k);
  for (int x = 0; x < 4; ++x) {
    page_key[size_t(x)] = char(w >> (8 * x));
    page_key[size_t(36 + x)] = char(wk >> (8 * x));
  }
  page_key.replace(4, 32, store::ComputeVerifier(password));
  Rc4 stream(page_key);
  uint8_t b = 0;
  for (uint64_t n = 0; n <= 36 + p % 4096; ++n) b = stream.Next();
  return b;
}

TEST(Verifier, IsTheDigestHexSwappedInPairsAndReversed) {
  // MD5("abc") = 900150983cd24fb0d6963f7d28e17f72.
  EXPECT_EQ(store::ComputeVerifier("abc"), "727fe1287d3f96d6b04fd23c98500190");
  // MD5("") = d41d8cd98f00b204e9800998ecf8427e.
  EXPECT_EQ(store::ComputeVerifier(""), "7e42f8ec980980e904b2008fd98c1dd4");
  EXPECT_TRUE(store::VerifiersMatch("727FE1287D3F96D6B04FD23C98500190", "727fe1287d3f96d6b04fd23c98500190"));
  EXPECT_FALSE(store::VerifiersMatch("727fe1287d3f96d6b04fd23c98500191", "727fe1287d3f96d6b04fd23c98500190"));
}

TEST(PageCipher, EachOffsetUsesTheStreamOfItsPage) {
  store::TableKey key("密码"_gbk);
  for (uint64_t p : {4, 5, 4095, 4096, 4097, 3 * 4096 + 17}) {
    uint8_t b = 0;
    key.Apply(p, &b, 1);
    EXPECT_EQ(b, StreamByte("密码"_gbk, p)) << p;
  }
  uint8_t magic[6] = {'W', 'C', 'D', 'B', 0, 0};
  key.Apply(0, magic, 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(magic), 4), "WCDB");
  EXPECT_EQ(magic[4], StreamByte("密码"_gbk, 4));
  EXPECT_EQ(store::MakeTableKey(""), nullptr);
}

class ProtectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.GbkPath("rz35.edb");
    MakeTable(path_, DiaryFields());
    RecordStore s;
    ASSERT_TRUE(s.OpenTable(path_));
    // Enough records and text for both files to span several cipher pages.
    for (int d = 0; d < 300; ++d)
      ASSERT_TRUE(s.AddRecord({DateTime(41000 + d), std::string(100 + 37 * d, char('a' + d % 26))}));
    plain_ = Files();
    s.CloseAllTables();
  }
  std::pair<std::string, std::string> Files() {
    return {ReadFileBytes(dir_.Path("rz35.edb")), ReadFileBytes(dir_.Path("rz35.edt"))};
  }
  bool Protect(const std::string& old_pw, const std::string& new_pw) {
    RecordStore s;
    if (!s.OpenTable(path_, {.password = old_pw})) return false;
    return s.SetPassword(new_pw);
  }
  std::vector<std::string> Contents(const std::string& pw) {
    RecordStore s;
    EXPECT_TRUE(s.OpenTable(path_, {.password = pw})) << LastError();
    return Snapshot(s);
  }

  TempDir dir_;
  std::string path_;
  std::pair<std::string, std::string> plain_;
};

TEST_F(ProtectionTest, ProtectingEnciphersBothFilesFromByteFour) {
  const auto expected = Contents("");
  ASSERT_TRUE(Protect("", "pw"));
  auto [t, c] = Files();
  EXPECT_EQ(t.size(), plain_.first.size());
  EXPECT_EQ(t.substr(0, 4), "WCDB");
  EXPECT_EQ(c.substr(0, 4), "WEDT");
  for (uint64_t p : {4, 4095, 4096}) {
    EXPECT_EQ(uint8_t(c[p]) ^ StreamByte("pw", p), uint8_t(plain_.second[p])) << p;
  }
  // The verifier is deciphered at 0x1C.
  std::string v = t.substr(0x1C, 36);
  for (size_t i = 0; i < 36; ++i) v[i] = char(uint8_t(v[i]) ^ StreamByte("pw", 0x1C + i));
  EXPECT_EQ(v, store::ComputeVerifier("pw") + std::string(4, '\0'));
  EXPECT_EQ(Contents("pw"), expected);

  RecordStore s;
  EXPECT_FALSE(s.OpenTable(path_));
  EXPECT_EQ(LastError(), -78);
  EXPECT_FALSE(s.OpenTable(path_, {.password = "PW"}));
  EXPECT_EQ(LastError(), -78);
  EXPECT_TRUE(s.IsProtected(path_));
}

TEST_F(ProtectionTest, ChangingAndRemovingThePasswordRestoresThePlainBytes) {
  ASSERT_TRUE(Protect("", "first"));
  ASSERT_TRUE(Protect("first", "第二"_gbk));
  ASSERT_TRUE(Protect("第二"_gbk, "第二"_gbk));  // same password: nothing re-enciphered
  ASSERT_TRUE(Protect("第二"_gbk, ""));
  EXPECT_EQ(Files(), plain_);
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_));
  EXPECT_FALSE(s.SetPassword("?"));
  EXPECT_EQ(LastError(), -80);
  EXPECT_FALSE(s.IsProtected("rz35"));
  s.CloseAllTables();
  EXPECT_EQ(Files(), plain_);
}

TEST_F(ProtectionTest, UpperCaseStoredVerifierStillMatches) {
  ASSERT_TRUE(Protect("", "pw"));
  EditFile(dir_.Path("rz35.edb"), [](std::string* t) {
    for (size_t i = 0; i < 32; ++i) {
      const uint8_t k = StreamByte("pw", 0x1C + i);
      char ch = char(uint8_t((*t)[0x1C + i]) ^ k);
      if (ch >= 'a' && ch <= 'f') ch = char(ch - 32);
      (*t)[0x1C + i] = char(uint8_t(ch) ^ k);
    }
  });
  EXPECT_EQ(Contents("pw").size(), 300u);
}

TEST_F(ProtectionTest, PromptModeAsksUpToThreeTimes) {
  ASSERT_TRUE(Protect("", "pw"));
  std::vector<std::string> lines;
  std::vector<std::optional<std::string>> answers;
  store::SetPasswordPromptHook([&](int attempt, const std::string& line) {
    lines.push_back(GbkToUtf8(line));
    return answers[size_t(attempt - 1)];
  });
  struct Row {
    const char* name;
    std::vector<std::optional<std::string>> answers;
    bool opens;
    size_t asked;
  } rows[] = {
      {"right at once", {"pw"}, true, 1},
      {"right at the third", {"x", "", "pw"}, true, 3},
      {"wrong three times", {"a", "b", "c"}, false, 3},
      {"cancelled", {"a", std::nullopt}, false, 2},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    answers = r.answers;
    lines.clear();
    RecordStore s;
    EXPECT_EQ(s.OpenTable(path_, {.password = "?"}), r.opens);
    if (!r.opens) {
      EXPECT_EQ(LastError(), -78);
    }
    EXPECT_EQ(lines.size(), r.asked);
    EXPECT_EQ(lines[0], "");
    if (lines.size() > 1) {
      EXPECT_EQ(lines[1], "密码错误，您还有 2 次重新输入的机会。");
    }
    if (lines.size() > 2) {
      EXPECT_EQ(lines[2], "密码错误，您还有 1 次重新输入的机会。");
    }
  }
  store::SetPasswordPromptHook(nullptr);
}

TEST_F(ProtectionTest, CopyOfAProtectedTableIsProtectedTheSameWay) {
  ASSERT_TRUE(Protect("", "pw"));
  RecordStore s;
  ASSERT_TRUE(s.OpenTable(path_, {.password = "pw"}));
  ASSERT_TRUE(s.CopyStructure(dir_.GbkPath("copy.edb")));
  ASSERT_TRUE(s.OpenTable(dir_.GbkPath("copy.edb"), {.password = "pw"})) << LastError();
  ASSERT_TRUE(s.AddRecord({DateTime(1), std::string("x")}));
  EXPECT_EQ(Text(s.ReadField(TextField())), "x");
}

}  // namespace
}  // namespace tarvok::test
