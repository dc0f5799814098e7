// Running the real tarvokline-edb binary, and tables to run it on.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gbk.h"
#include "store/format.h"
#include "store/record_store.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace tarvok::test {


// Runs the tool with `args` (UTF-8) and `input` on its standard input.
inline RunResult RunEdb(const TempDir& io, const std::vector<std::string>& args,
                        const std::string& input = "") {
  return RunProgram(io, std::string(TARVOK_BIN_DIR) + "/tarvokline-edb", args, input);
}

// The lines of a text, without their "\n".
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t nl = text.find('\n', from);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(from, nl - from));
    from = nl + 1;
  }
  return lines;
}

// Writes an empty table at the GBK path with the given fields (created
// 41365.5, next id 1), and its companion when a field needs one.
inline void MakeTable(const std::string& gbk_path, const std::vector<store::FieldDesc>& fields) {
  auto img = store::EmptyTableImage(fields, 41365.5, 1, "", false);
  WriteFileBytes(GbkToUtf8(gbk_path), std::string(img.begin(), img.end()));
  for (const auto& f : fields) {
    if (store::HasChain(f.type)) {
      auto c = store::EmptyCompanionImage(41365.5);
      WriteFileBytes(GbkToUtf8(store::ReplaceExtension(gbk_path, "edt")), std::string(c.begin(), c.end()));
      break;
    }
  }
}

inline int32_t I32At(const std::string& bytes, size_t offset) {
  return store::GetI32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

inline void PutI32At(std::string* bytes, size_t offset, int32_t v) {
  store::PutI32(reinterpret_cast<uint8_t*>(bytes->data()) + offset, v);
}

}  // namespace tarvok::test
