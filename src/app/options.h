// The command-line options. They are taken out of the arguments before the
// five positional arguments are read, so a mode word or path is never
// mistaken for an option: only these exact words are options.
//   --help, -h, /?     usage text
//   --version          "Brevion Installer <version>"
//   --list ARCHIVE     one line per entry of the archive
//   --test ARCHIVE     verify the checksum and decode every entry
//   --threads=N        worker threads for block compression (0: automatic)
//   --codepage=N       code page of legacy archive names (0: the platform's)
//   --memory=SIZE      memory budget of the compression workers (512M, 2G)
//   --silent, /S, /SILENT, /VERYSILENT     unattended run (app/unattended.h)
//   --dir=FOLDER, /D=FOLDER, /DIR=FOLDER   installation or extraction folder
//   --no-shortcuts     install without shortcuts
//   --log=FILE, /LOG=FILE                  log of what was done
//   --                 every later argument is positional, even "--list"
// Any other argument that begins with "--" is a bad argument; an argument
// that merely contains "--" further on (a path) stays positional.
// The options that print run without windows and write to the given stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/unattended.h"
#include "system/text_writer.h"

namespace app {

enum class OptionAction { RunRole, Help, Version, List, Test, BadArguments };

struct CommandOptions {
  // The first action word wins; RunRole when none was given.
  OptionAction action = OptionAction::RunRole;
  std::string archive;                 // ARCHIVE of --list / --test
  std::optional<int> threads;          // --threads=N when given
  std::optional<int> codePage;         // --codepage=N when given
  std::optional<int64_t> memoryBudget; // --memory=SIZE in bytes when given
  UnattendedOptions unattended;        // --silent, --dir, --no-shortcuts, --log
  std::vector<std::string> positional; // the arguments left for the roles, in order
  std::string error;                   // why the arguments are bad (BadArguments)
};

// Splits the command line (without the program name) into options and
// positional arguments. Never throws; bad arguments give BadArguments with
// `error` set.
CommandOptions ParseOptions(const std::vector<std::string>& arguments);

// "Brevion Installer <version>".
std::string VersionText();
// The usage text: the five roles and the options, one per line.
std::string UsageText();

// Writes a header line and one tab-separated line per entry of the archive:
// name, size, stored size, date (YYYY-MM-DD HH:MM, "-" when none),
// attribute letters, "stored" or "compressed". Every entry is decoded to
// learn its size. Returns an exit code: 0, 4 when the archive is damaged,
// 5 when it cannot be opened; the error goes to `out` as one line.
int ListArchive(const std::string& archivePath, sys::TextWriter& out);

// Verifies the archive's checksum and decodes every entry into nothing,
// writing no file. Prints "OK" and returns 0, or prints the error and
// returns 4 (damaged) or 5 (cannot be opened).
int TestArchive(const std::string& archivePath, sys::TextWriter& out);

// Applies the options that tune every role: worker threads, memory budget,
// code page.
void ApplyTuning(const CommandOptions& options);

// Runs a printing option (Help, Version, List, Test) or reports bad
// arguments (on `err`, exit code 2). Not for RunRole.
int RunOption(const CommandOptions& options, sys::TextWriter& out, sys::TextWriter& err);

}  // namespace app
