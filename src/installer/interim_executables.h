// A stopgap until packages record which files are executable: the install
// run marks the program (ProgramExe) and every file below the package's
// "bin" folder executable, so that installed programs run on POSIX systems.
// Goes when archives carry the executable attribute letter.
#pragma once

#include <string>

#include "system/settings.h"

namespace installer {

// Marks, among `installedEntries` (the package's files relative to
// `installFolder`, "\" between levels, as InstalledEntries lists them), the
// one named `programExe` and those below "bin\" executable. Only files the
// package put there are touched. Windows runs files by their extension:
// nothing changes there.
void MarkInterimExecutables(const std::string& installFolder, const std::string& programExe,
                            const sys::StringList& installedEntries);

}  // namespace installer
