// The table-file fuzz target's inputs replayed in the ordinary test builds:
// the reproducers of store faults it found (tests/store/data/fuzz/) and its
// seeds. Each runs through the target's own harness, which aborts on a
// failed consistency property; under the sanitizer build a memory fault or
// undefined behaviour ends the run too.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_table_file.cc"
#include "tests/support/temp_dir.h"

namespace tarvok::test {
namespace {

// The tests/ folder of the source tree.
std::filesystem::path TestsFolder() {
  return std::filesystem::path(TARVOK_TEST_DATA).parent_path().parent_path();
}

void Replay(const std::filesystem::path& folder, size_t at_least) {
  size_t replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::string bytes = ReadFileBytes(entry.path().string());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
    ++replayed;
  }
  EXPECT_GE(replayed, at_least) << folder;
}

TEST(FuzzReplay, StoreFaultReproducers) {
  Replay(TestsFolder() / "store/data/fuzz", 6);
}

TEST(FuzzReplay, Seeds) {
  Replay(TestsFolder().parent_path() / "fuzz/corpus/table_file", 5);
}

}  // namespace
}  // namespace tarvok::test
