#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/gbk.h"

namespace tarvok::test {
namespace {

// "Suite.Name" of the running test with anything but letters, digits, '.'
// and '_' replaced, so a parameterised test's '/' makes no subfolder.
std::string TestLabel() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string label = info == nullptr
                          ? std::string("no-test")
                          : std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : label) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9') || c == '.' || c == '_';
    if (!keep) c = '-';
  }
  return label;
}

}  // namespace

TempDir::TempDir() {
  const char* env = std::getenv("TMPDIR");
  std::string base = env != nullptr && *env != '\0' ? env : "/tmp";
  std::string pattern = base + "/tarvok-" + TestLabel() + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror(("cannot make a temporary folder " + pattern).c_str());
    std::abort();
  }
  path_ = std::move(pattern);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  if (ec) std::fprintf(stderr, "cannot remove %s: %s\n", path_.c_str(), ec.message().c_str());
}

std::string TempDir::Path(std::string_view utf8_name) const {
  return path_ + "/" + std::string(utf8_name);
}

std::string TempDir::GbkPath(std::string_view gbk_name) const {
  return Utf8ToGb18030(path_) + "/" + std::string(gbk_name);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

}  // namespace tarvok::test
