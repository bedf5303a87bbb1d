// A small installer written with the archive engine, for the tests that
// start the whole program on one.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "archive/archive.h"
#include "support/temp_dir.h"

namespace testsupport {

// Writes "setup.exe" in `dir`: the program `programName` with one file,
// `exeName`, and a script that proposes `install` (as given, without a
// closing separator). Returns the package's path.
inline std::string WriteSmallPackage(TempDir& dir, const std::string& programName, const std::string& exeName,
                                     const std::string& install) {
  dir.Write("files/install.dat", "#variables\r\nProgramName=" + programName + "\r\ninstall_dir=" + install + "\r\n");
  dir.Write("files/install_dir/" + exeName, "program");
  const std::string stub = dir.Write("stub.bin", "MZ");
  const std::string package = dir.dir() + "setup.exe";
  archive::ArchiveSetStreamCodec("zlibfastest");
  EXPECT_TRUE(archive::ArchiveCreateFromFolder(package, dir.dir() + "files", archive::kAllEntriesFilter, nullptr,
                                               nullptr, stub));
  return package;
}

}  // namespace testsupport
