// The command-line options. They are taken out of the arguments before the
// five positional arguments are read, so a mode word or path is never
// mistaken for an option. Every spelling is matched ignoring letter case.
//   --help, -h, /?     usage text
//   --version          "Brevion Installer <version>"
//   --list ARCHIVE     one line per entry of the archive
//   --test ARCHIVE     verify the checksum and decode every entry
//   --threads=N        worker threads for block compression (0: automatic)
//   --codepage=N       code page of legacy archive names (0: the platform's)
//   --memory=SIZE      memory budget of the compression workers (512M, 2G)
//   --max-size=BYTES   the most an extraction may write (K, M, G suffixes)
//   --case-collisions=error|rename|keep-first   names differing only in case
//   --silent, /S, /SILENT, /VERYSILENT, /Q     unattended run (app/unattended_options.h)
//   --dir=FOLDER, /DIR=FOLDER   installation or extraction folder
//   /D=FOLDER          the same; last on the line, spaces need no quotes
//   --no-shortcuts     install without shortcuts
//   --log=FILE, /LOG=FILE       log of what was done; bare /LOG: in the
//                      temporary folder, its path told on standard error
//   --name=NAME        the archive role's name, not asked for
//   --werror           a build stops on the project's warnings too
//   /SUPPRESSMSGBOXES, /NORESTART, /SP-, /NOCANCEL   accepted, nothing to do
//   --                 every later argument is positional, even "--list"
// Any other argument written as an option ("--x", or "-x" and "/X" that
// name no file) is refused with "unknown option", and a first positional
// word that is no role, no file and no path with "unknown command".
// The options that print run without windows and write to the given stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/unattended_options.h"
#include "archive/case_collisions.h"
#include "system/text_writer.h"

namespace app {

enum class OptionAction { RunRole, Help, Version, List, Test, BadArguments };

struct CommandOptions {
  // The first action word wins; RunRole when none was given.
  OptionAction action = OptionAction::RunRole;
  std::string archive;                 // ARCHIVE of --list / --test
  std::optional<int> threads;          // --threads=N when given
  std::optional<archive::CaseCollisions> caseCollisions;  // --case-collisions= when given
  std::optional<int64_t> maxSize;      // --max-size=BYTES when given
  std::optional<int> codePage;         // --codepage=N when given
  std::optional<int64_t> memoryBudget; // --memory=SIZE in bytes when given
  UnattendedOptions unattended;        // --silent, --dir, --no-shortcuts, --log
  std::vector<std::string> positional; // the arguments left for the roles, in order
  std::string error;                   // why the arguments are bad (BadArguments)
  bool showUsage = false;              // BadArguments: print the usage line as well
  bool warningsAreErrors = false;      // --werror
  bool contentHashes = false;          // --hash: archives record each entry's SHA-256
};

// Where a bare /LOG writes: a dated file in the temporary folder.
std::string DefaultLogPath();

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
// attribute letters, "stored" or "compressed". Sizes come from the entries'
// headers; nothing is decoded. Names are printed with control characters
// escaped. Returns an exit code: 0, 4 when the archive is damaged,
// 5 when it cannot be opened; the error goes to `out` as one line.
int ListArchive(const std::string& archivePath, sys::TextWriter& out);

// Verifies the archive's checksum and decodes every entry into nothing,
// writing no file. Prints "OK" and returns 0, or prints the error and
// returns 4 (damaged) or 5 (cannot be opened).
int TestArchive(const std::string& archivePath, sys::TextWriter& out);

// The one-line reminder of how the program is called.
std::string UsageLine();

// True when a run with these options has nothing to do: no arguments, and
// the program at `executablePath` carries no package. The usage is shown then.
bool NothingToRun(const CommandOptions& options, const std::string& executablePath);
// Applies the options that tune every role: worker threads, memory budget,
// code page.
void ApplyTuning(const CommandOptions& options);

// Runs a printing option (Help, Version, List, Test) or reports bad
// arguments (on `err`, exit code 2, with the usage line after an unknown
// option or command). Not for RunRole.
int RunOption(const CommandOptions& options, sys::TextWriter& out, sys::TextWriter& err);

}  // namespace app
