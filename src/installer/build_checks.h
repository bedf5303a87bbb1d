// Checks a project before it is built, reading install.dat the way the
// installer will, so that a mistake is reported at build time with its file
// and line ("install.dat:12: error: ...") instead of surfacing on a user's
// computer. Errors stop the build; warnings point at likely mistakes.
#pragma once

#include <string>
#include <vector>

namespace installer {

struct BuildFinding {
  std::string where;  // "install.dat:LINE", or the file, folder or argument it is about
  bool error = false;
  std::string text;
  int line = 0;  // the script's line, 0 for findings about files and arguments
};

struct ProjectCheck {
  std::vector<BuildFinding> findings;  // in the order found, script lines in file order
  int Count(bool errors) const;
};

// Checks the project folder of a build of `packagePath` with the mode
// `compressionMode` by the builder `builderPath`:
//   errors: no project folder or no "files" folder; an unknown compression
//     mode; a package named ".exe" with no Windows program beside the
//     builder; a section that is not one of the script's; ProgramExe,
//     ProgramIcon, a shortcut target or an association program under
//     $install_dir$ that the package does not contain;
//   warnings: no install.dat; no license.htm; a variable the installer
//     does not read and the script does not use; ReadmeAvailable=true with
//     no readme in the package.
ProjectCheck CheckProject(const std::string& projectFolder, const std::string& packagePath,
                          const std::string& compressionMode, const std::string& builderPath);

// "where: error: text" or "where: warning: text"; with `warningsAreErrors`
// a warning is written as an error.
std::string FormatFinding(const BuildFinding& finding, bool warningsAreErrors);

}  // namespace installer
