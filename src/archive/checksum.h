// The whole-file checksum of an indexed archive: the file's little-endian
// 32-bit words, all but the last four whole words (and any 1-3 bytes after
// the last whole word), summed modulo 2^32 - 1. Stored in the low half of the
// trailer's Checksum field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/progress.h"

namespace archive {

inline constexpr const char* kCreatingVerificationData = "Creating Verification Data";
inline constexpr const char* kVerifyingDataIntegrity = "Verifying Data Integrity";

// Sum of `wordCount` little-endian 32-bit words at `data`, modulo 2^32 - 1.
// `wordCount` must stay below 2^28 (the per-call accumulators are 64-bit).
uint32_t SumWords(const uint8_t* data, size_t wordCount);
// (a + b) modulo 2^32 - 1 for a, b already reduced.
uint32_t AddChecksums(uint32_t a, uint32_t b);

struct ChecksumPass {
  bool completed = false;
  uint32_t sum = 0;
};

// Computes the checksum of the file at `archivePath` and stores it in the
// trailer. The hook is called with "Creating Verification Data" at 0, 20, 40,
// 60 and 80 percent (a false answer cancels: nothing is written) and with 100
// after the write. A missing file reports not completed, sum 0.
ChecksumPass ArchiveWriteChecksum(const std::string& archivePath, ProgressHook hook, void* context);

// Recomputes the checksum of the file and compares it with the stored one
// (whose high half must be 0). Hook as above with "Verifying Data Integrity".
// False for a missing file, a file shorter than 20 bytes, a mismatch or a
// cancelled pass.
bool ArchiveVerify(const std::string& archivePath, ProgressHook hook, void* context);

}  // namespace archive
