#include "app/options.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/application.h"
#include "app/exit_codes.h"
#include "app/exit_status.h"
#include "archive/archive.h"
#include "archive/archive_layout.h"
#include "archive/list_and_test.h"
#include "compression/block_pool.h"
#include "system/activity_log.h"
#include "system/byte_order.h"
#include "system/file_dates.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/text.h"
#include "system/platform.h"

namespace app {

namespace {

constexpr const char* kEndOfOptions = "--";

// How an option is written. Every spelling is matched ignoring letter case,
// as administrators type them ("/silent", "/S", "/VERYSILENT").
enum class Form {
  Word,      // the word alone
  NextWord,  // the word, then its value as the next argument (--list ARCHIVE)
  Value,     // the spelling ends in "=" and the value follows it
  Rest,      // as Value, and every later argument belongs to the value too,
             // joined by spaces: "/D=C:\Program Files\App" arrives in pieces
};

// Applies an option's value; returns why it is refused ("" when taken).
using Apply = std::string (*)(CommandOptions& options, const std::string& name, const std::string& value);

struct OptionSpec {
  std::string_view spellings;  // "|"-separated
  Form form;
  Apply apply;
};

// Digits only, within int; nullopt otherwise.
std::optional<int> ParseCount(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// Digits with an optional K, M or G (powers of 1024); nullopt otherwise.
std::optional<int64_t> ParseByteCount(std::string_view text) {
  int64_t unit = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K': case 'k': unit = int64_t{1} << 10; break;
      case 'M': case 'm': unit = int64_t{1} << 20; break;
      case 'G': case 'g': unit = int64_t{1} << 30; break;
      default: break;
    }
    if (unit != 1) text.remove_suffix(1);
  }
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || error != std::errc() || stop != end) return std::nullopt;
  if (value > INT64_MAX / unit) return std::nullopt;
  return value * unit;
}

std::string Action(CommandOptions& options, OptionAction action, const std::string& archive) {
  // The first action word wins.
  if (options.action == OptionAction::RunRole) {
    options.action = action;
    options.archive = archive;
  }
  return "";
}

std::string TakeFolder(CommandOptions& options, const std::string& name, const std::string& value) {
  if (value.empty()) return name + " needs a folder: " + name + "=FOLDER";
  // The current folder of whoever started an installer is no place to
  // install into.
  if (!sys::IsAbsolutePath(value)) return name + " needs a full path: " + name + "=" + value;
  options.unattended.folder = value;
  return "";
}

std::string TakeLogFile(CommandOptions& options, const std::string& name, const std::string& value) {
  if (value.empty()) return name + " needs a file name: " + name + "=FILE";
  options.unattended.logFile = value;
  return "";
}

std::string NeedsEquals(CommandOptions&, const std::string& name, const std::string&) {
  return name + " takes its value after \"=\": " + name + "=" + (name == "--log" ? "FILE" : "FOLDER");
}

std::string Ignore(CommandOptions&, const std::string&, const std::string&) { return ""; }

// The options, one line each; new ones are added here.
constexpr OptionSpec kOptions[] = {
    {"--help|-h|/?|/help", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) { return Action(o, OptionAction::Help, ""); }},
    {"--version", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) { return Action(o, OptionAction::Version, ""); }},
    {"--list", Form::NextWord,
     [](CommandOptions& o, const std::string&, const std::string& v) { return Action(o, OptionAction::List, v); }},
    {"--test", Form::NextWord,
     [](CommandOptions& o, const std::string&, const std::string& v) { return Action(o, OptionAction::Test, v); }},
    {"--threads=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       o.threads = ParseCount(v);
       return o.threads ? "" : "--threads needs a whole number of threads: " + name + "=" + v;
     }},
    {"--max-size=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       o.maxSize = ParseByteCount(v);
       return o.maxSize ? "" : "--max-size needs a number of bytes: " + name + "=" + v;
     }},
    {"--case-collisions=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       o.caseCollisions = archive::ParseCaseCollisions(v);
       return o.caseCollisions ? "" : "--case-collisions takes error, rename or keep-first: " + name + "=" + v;
     }},
    {"--memory=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       o.memoryBudget = ParseByteCount(v);
       if (o.memoryBudget && *o.memoryBudget > 0) return "";
       return "--memory needs a size such as 512M or 2G: " + name + "=" + v;
     }},
    {"--codepage=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       o.codePage = ParseCount(v);
       if (o.codePage && sys::platform::SupportsCodePage(*o.codePage)) return "";
       return "--codepage needs the number of a code page this system knows: " + name + "=" + v;
     }},
    {"--hash", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) {
       o.contentHashes = true;
       return std::string();
     }},
    {"--silent|/S|/SILENT|/VERYSILENT|/Q|/QUIET", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) {
       o.unattended.silent = true;
       return std::string();
     }},
    {"--no-shortcuts", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) {
       o.unattended.noDesktopShortcut = o.unattended.noStartMenuShortcut = true;
       return std::string();
     }},
    {"--no-shortcuts=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       if (sys::SameTextAscii(v, "desktop")) {
         o.unattended.noDesktopShortcut = true;
       } else if (sys::SameTextAscii(v, "startmenu")) {
         o.unattended.noStartMenuShortcut = true;
       } else {
         return "--no-shortcuts= takes desktop or startmenu: " + name + "=" + v;
       }
       return std::string();
     }},
    {"--scope=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       o.unattended.scope = sys::ParseScope(v);
       return o.unattended.scope ? "" : "--scope takes machine or user: " + name + "=" + v;
     }},
    {"/ALLUSERS", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) {
       o.unattended.scope = sys::InstallScope::Machine;
       return std::string();
     }},
    {"/CURRENTUSER", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) {
       o.unattended.scope = sys::InstallScope::User;
       return std::string();
     }},
    {"--dir=|/DIR=", Form::Value, TakeFolder},
    {"/D=", Form::Rest, TakeFolder},
    {"--log=|/LOG=", Form::Value, TakeLogFile},
    // A bare /LOG: a log in the temporary folder, its path told at the start.
    {"/LOG", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) {
       o.unattended.logFile = DefaultLogPath();
       o.unattended.logAnnounced = true;
       return std::string();
     }},
    {"--name=", Form::Value,
     [](CommandOptions& o, const std::string& name, const std::string& v) -> std::string {
       if (v.empty()) return name + " needs the archive's name: " + name + "=NAME";
       o.unattended.archiveName = v;
       return "";
     }},
    {"--werror", Form::Word,
     [](CommandOptions& o, const std::string&, const std::string&) {
       o.warningsAreErrors = true;
       return std::string();
     }},
    {"--dir|--log", Form::Word, NeedsEquals},
    // Switches other setup programs take: there is no restart to suppress,
    // a silent run shows no message boxes anyway, and Cancel stays.
    {"/SUPPRESSMSGBOXES|/NORESTART|/SP-|/NOCANCEL|/NCRC|/NOICONS", Form::Word, Ignore},
};

// The spelling of `entry` that `argument` is written with (ignoring letter
// case), or nullptr.
std::optional<std::string_view> Spelling(const OptionSpec& entry, const std::string& argument) {
  std::string_view rest = entry.spellings;
  while (!rest.empty()) {
    const size_t bar = rest.find('|');
    const std::string_view spelling = rest.substr(0, bar);
    rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    const bool prefix = entry.form == Form::Value || entry.form == Form::Rest;
    const std::string_view head = std::string_view(argument).substr(0, prefix ? spelling.size() : std::string::npos);
    if (sys::SameTextAscii(head, spelling)) return spelling;
  }
  return std::nullopt;
}

// True when `argument` is written as one of the table's options.
bool IsTableOption(const std::string& argument) {
  for (const OptionSpec& entry : kOptions) {
    if (Spelling(entry, argument)) return true;
  }
  return false;
}

// An argument written as an option, though none of the table's: "--x", or
// "-x" and "/X" with no further separator or dot that name no existing
// file (a path on a POSIX system begins with "/" too).
bool LooksLikeOption(const std::string& argument) {
  if (argument.starts_with(kEndOfOptions)) return true;
  if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) return false;
  if (argument.find_first_of("/\\.", 1) != std::string::npos) return false;
  return !sys::FileExists(argument) && !sys::FolderExists(argument);
}

// The role words; any other first word is the path of an archive to extract.
constexpr const char* kRoleWords[] = {"install", "uninstall", "build", "archive"};

// Why the first word names no role and no file, or "" when it does (or
// looks like a path: a missing archive is reported by the extraction).
std::string UnknownCommand(const std::string& word) {
  for (const char* role : kRoleWords) {
    if (word == role) return "";
    if (sys::SameTextAscii(word, role)) {
      return "unknown command \"" + word + "\" (the roles are written in lower case: " + role + ")";
    }
  }
  if (word.find_first_of("/\\.") != std::string::npos || sys::FileExists(word)) return "";
  return "unknown command \"" + word + "\"";
}

CommandOptions BadArguments(std::string error, bool showUsage = false) {
  CommandOptions options;
  options.action = OptionAction::BadArguments;
  options.error = std::move(error);
  options.showUsage = showUsage;
  return options;
}

}  // namespace

std::string DefaultLogPath() {
  std::string stamp = sys::TimeStamp();
  for (char& c : stamp) {
    if (c == ':') c = '-';
    if (c == ' ') c = '_';
  }
  return sys::SpecialFolderPath("temp") + "Brevion Installer Log " + stamp + ".txt";
}

CommandOptions ParseOptions(const std::vector<std::string>& arguments) {
  CommandOptions options;
  bool optionsEnded = false;
  bool checkFirstWord = true;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded) {
      options.positional.push_back(argument);
      continue;
    }
    if (argument == kEndOfOptions) {
      optionsEnded = true;
      // A first word after "--" is taken as it is written.
      checkFirstWord = !options.positional.empty();
      continue;
    }
    const OptionSpec* found = nullptr;
    std::string_view spelling;
    for (const OptionSpec& entry : kOptions) {
      if (const auto match = Spelling(entry, argument)) {
        found = &entry;
        spelling = *match;
        break;
      }
    }
    if (!found) {
      if (LooksLikeOption(argument)) return BadArguments("unknown option " + argument, true);
      options.positional.push_back(argument);
      continue;
    }
    // The name as the messages show it: the spelling without its "=".
    std::string name(spelling.ends_with('=') ? spelling.substr(0, spelling.size() - 1) : spelling);
    std::string value;
    switch (found->form) {
      case Form::Word: break;
      case Form::NextWord:
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
          return BadArguments(name + " needs the path of an archive");
        }
        value = arguments[++i];
        break;
      case Form::Value: value = argument.substr(spelling.size()); break;
      case Form::Rest:
        value = argument.substr(spelling.size());
        // The pieces of a folder split at its spaces, up to the next switch:
        // "/D=C:\My Apps /LOG=x" is the folder "C:\My Apps" and a log.
        while (i + 1 < arguments.size() && !IsTableOption(arguments[i + 1])) value += " " + arguments[++i];
        break;
    }
    if (std::string error = found->apply(options, name, value); !error.empty()) return BadArguments(error);
  }
  if (options.action == OptionAction::RunRole && checkFirstWord && !options.positional.empty()) {
    if (std::string error = UnknownCommand(options.positional.front()); !error.empty()) {
      return BadArguments(error, true);
    }
  }
  return options;
}

std::string UsageLine() {
  return "Usage: brevion [install [PACKAGE] | uninstall NAME | build PACKAGE FOLDER [MODE] | "
         "archive DEST FOLDER | ARCHIVE] [options]";
}

namespace {

// True when the file ends with the trailer's format version word: it was
// written to carry an index, whether or not that index still reads.
bool EndsWithFormatVersion(const std::string& path) {
  try {
    compression::FileStream file(path, compression::FileStream::Mode::Read);
    if (file.Size() < archive::layout::kTrailerSize) return false;
    uint8_t word[8];
    file.Seek(-static_cast<int64_t>(sizeof word), compression::SeekOrigin::End);
    return file.Read(word, sizeof word) == sizeof word && sys::LoadI64(word) == archive::layout::kFormatVersion;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool NothingToRun(const CommandOptions& options, const std::string& executablePath) {
  if (options.action != OptionAction::RunRole || !options.positional.empty()) return false;
  try {
    compression::FileStream file(executablePath, compression::FileStream::Mode::Read);
    const archive::ArchiveIndex index = archive::ReadArchiveIndexOfFile(file, executablePath);
    return index.FindName("install.dat") < 0 && index.EntryCount() <= 1;
  } catch (const std::exception&) {
    // No index at the end: the builder itself, with no package. A package
    // whose index is damaged is still a package: the installer says so.
    return !EndsWithFormatVersion(executablePath);
  }
}

std::string VersionText() { return std::string(kApplicationTitle) + " " + BREVION_VERSION; }

std::string UsageText() {
  return VersionText() +
         "\n"
         "\n"
         "Usage:\n"
         "  brevion                               install the package carried by this program\n"
         "  brevion install [PACKAGE]             install the package carried by PACKAGE\n"
         "  brevion uninstall NAME                uninstall what the uninstall log NAME names\n"
         "  brevion build PACKAGE FOLDER [MODE] [NUMBER]\n"
         "                                        build an installer from a project folder\n"
         "  brevion archive DEST FOLDER [--name=NAME]\n"
         "                                        pack FOLDER into DEST/NAME.bvarc\n"
         "  brevion ARCHIVE [--dir=FOLDER]        extract ARCHIVE (into the current folder\n"
         "                                        unless another is chosen or given)\n"
         "\n"
         "Options (any letter case):\n"
         "  --help, -h, /?     show this text\n"
         "  --version          show the version\n"
         "  --list ARCHIVE     list the entries of ARCHIVE\n"
         "  --test ARCHIVE     verify ARCHIVE and decode every entry, writing nothing\n"
         "  --threads=N        use N threads for block compression (0: automatic)\n"
         "  --memory=SIZE      memory the compression workers may take together, e.g. 512M\n"
         "                     (workers need up to " +
         std::to_string(compression::kWorkerMemory >> 20) + " MB each; now " +
         std::to_string(compression::MemoryBudget() >> 20) + " MB: " + std::to_string(compression::WorkerCount()) +
         (compression::WorkerCount() == 1 ? " worker)\n" : " workers)\n") +
         "  --codepage=N       read archive names stored as 8-bit text in code page N\n"
         "                     (default: the system's ANSI page; 1252 on Linux)\n"
         "  --max-size=BYTES   extract at most BYTES (K, M, G allowed; default: the free space)\n"
         "  --case-collisions=error|rename|keep-first\n"
         "                     names that differ only in letter case: refuse to build\n"
         "                     (the default), store later ones renamed, or keep the first\n"
         "  --silent, /S, /SILENT, /VERYSILENT\n"
         "                     install, uninstall or extract with no windows and no questions\n"
         "  --dir=FOLDER, /DIR=FOLDER, /D=FOLDER\n"
         "                     install (or extract) into FOLDER, a full path; /D= comes last\n"
         "                     and may hold spaces without quotes\n"
         "  --no-shortcuts     install without desktop and Start menu shortcuts\n"
         "  --no-shortcuts=desktop, --no-shortcuts=startmenu\n"
         "                     install without the one kind of shortcut\n"
         "  --scope=machine|user, /ALLUSERS, /CURRENTUSER\n"
         "                     install for every user (elevating when needed) or for\n"
         "                     the current user only\n"
         "  --log=FILE, /LOG=FILE, /LOG\n"
         "                     append a log of what was done to FILE (bare /LOG: a new\n"
         "                     file in the temporary folder, its path printed)\n"
         "  --name=NAME        archive: the archive's name, not asked for\n"
         "  --hash             archive: record the SHA-256 of every file, checked when\n"
         "                     extracting and by --test (installers always record them)\n"
         "  --werror           build: treat the project's warnings as errors\n"
         "  /SUPPRESSMSGBOXES, /NORESTART, /SP-, /NOCANCEL\n"
         "                     accepted for other setup programs' scripts; nothing to do\n"
         "  --                 treat every later argument as positional\n";
}

namespace {

std::string FormatDosDate(int32_t dosDateTime) {
  if (dosDateTime == 0) return "-";
  const sys::DosFields fields = sys::UnpackDosDateTime(dosDateTime);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", fields.year, fields.month, fields.day, fields.hour,
                fields.minute);
  return text;
}

void UseArchiveCodec() { archive::ArchiveSetStreamCodec("normal"); }

// Prints what went wrong, if anything, and gives the exit code: the entry's
// name before the message when one entry is at fault.
int Report(const archive::ArchiveFindings& found, sys::TextWriter& out) {
  if (!found.failure.failed()) return kExitSuccess;
  if (!found.failedEntry.empty()) out << sys::EscapeControls(found.failedEntry) << ": ";
  out << sys::EscapeControls(found.failure.message) << '\n';
  return ArchiveExitCode(found.failure.kind);
}

}  // namespace

int ListArchive(const std::string& archivePath, sys::TextWriter& out) {
  UseArchiveCodec();
  const archive::ArchiveFindings found = archive::ArchiveListEntries(archivePath);
  if (found.failure.failed() && found.failedEntry.empty()) return Report(found, out);
  out << "Name\tSize\tStored\tDate\tAttributes\tCompression\n";
  for (const archive::EntryListing& entry : found.entries) {
    out << sys::EscapeControls(entry.name) << '\t' << entry.size << '\t' << entry.stored << '\t'
        << FormatDosDate(entry.dosDate) << '\t' << sys::EscapeControls(entry.attributes) << '\t'
        << (entry.compressed ? "compressed" : "stored") << '\n';
  }
  return Report(found, out);
}

int TestArchive(const std::string& archivePath, sys::TextWriter& out) {
  UseArchiveCodec();
  const archive::ArchiveFindings found = archive::ArchiveTest(archivePath);
  if (!found.failure.failed()) out << "OK\n";
  return Report(found, out);
}

void ApplyTuning(const CommandOptions& options) {
  if (options.threads) compression::SetWorkerCount(*options.threads);
  if (options.codePage) archive::Module().legacyCodePage = *options.codePage;
  if (options.memoryBudget) compression::SetMemoryBudget(*options.memoryBudget);
  if (options.contentHashes) archive::Module().contentHashes = true;
}

int RunOption(const CommandOptions& options, sys::TextWriter& out, sys::TextWriter& err) {
  ApplyTuning(options);
  switch (options.action) {
    case OptionAction::Help: out << UsageText(); return kExitSuccess;
    case OptionAction::Version: out << VersionText() << '\n'; return kExitSuccess;
    case OptionAction::List: return ListArchive(options.archive, out);
    case OptionAction::Test: return TestArchive(options.archive, out);
    case OptionAction::BadArguments:
    case OptionAction::RunRole: break;
  }
  err << kApplicationTitle << ": " << options.error << '\n';
  if (options.showUsage) err << UsageLine() << '\n';
  err << "Try --help for the options.\n";
  return kExitBadArguments;
}

}  // namespace app
