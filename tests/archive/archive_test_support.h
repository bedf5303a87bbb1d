// Shared set-up of the archive tests: a clean module state with a codec, and
// small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "archive/archive.h"
#include "archive/names.h"
#include "support/temp_dir.h"
#include "system/byte_order.h"
#include "system/file_dates.h"
#include "system/files.h"

namespace archive::testing {

// 2020-05-17 10:30:20 and 2021-01-02 03:04:06 as DOS date-times.
inline constexpr int32_t kDate2020 = 0x50B153CA;
inline constexpr int32_t kDate2021 = 0x52221883;

inline std::string Int64Bytes(int64_t value) {
  uint8_t bytes[8];
  sys::StoreI64(bytes, value);
  return std::string(reinterpret_cast<char*>(bytes), 8);
}

// Resets the module to a known state before each test: the zlib codec, all
// answers 0, no window.
class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ArchiveSetStreamCodec("zlibmax");
    ArchiveModule& module = Module();
    module.OverwriteExisting = module.OverwriteReadOnly = module.OverwriteSystem = kNotAsked;
    module.abort = false;
    module.dialog = nullptr;
    module.maxExtractBytes = -1;
    module.afterFileWritten = {};
    module.warnings.clear();
    module.legacyCodePage = 0;
    module.contentHashes = false;
  }

  // Writes a file with a fixed date and returns its path.
  std::string WriteDated(const std::string& name, const std::string& content, int32_t date = kDate2020) {
    const std::string path = dir.Write(name, content);
    sys::SetFileDosDateTime(path, date);
    return path;
  }

  testsupport::TempDir dir;
};

}  // namespace archive::testing
