#include "app/options.h"

#include <charconv>
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/exit_codes.h"
#include "archive/archive.h"
#include "archive/archive_layout.h"
#include "archive/checksum.h"
#include "compression/block_pool.h"
#include "system/file_dates.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"

namespace app {

namespace {

constexpr std::string_view kThreadsPrefix = "--threads=";
constexpr std::string_view kCodePagePrefix = "--codepage=";
constexpr std::string_view kMemoryPrefix = "--memory=";
constexpr const char* kEndOfOptions = "--";

// Option words that print and end the program, with their action.
struct ActionWord {
  const char* word;
  OptionAction action;
  bool takesArchive;
};
constexpr ActionWord kActionWords[] = {
    {"--help", OptionAction::Help, false},    {"-h", OptionAction::Help, false},
    {"/?", OptionAction::Help, false},        {"--version", OptionAction::Version, false},
    {"--list", OptionAction::List, true},     {"--test", OptionAction::Test, true},
};

// Words that make a run unattended, and options that carry a value after
// "=". The value may not be empty.
constexpr const char* kSilentWords[] = {"--silent", "/S", "/SILENT", "/VERYSILENT"};
constexpr const char* kNoShortcutsWord = "--no-shortcuts";
enum class ValueOption { Folder, LogFile };
struct ValueWord {
  std::string_view prefix;
  ValueOption option;
};
constexpr ValueWord kValueWords[] = {
    {"--dir=", ValueOption::Folder}, {"/D=", ValueOption::Folder},     {"/DIR=", ValueOption::Folder},
    {"--log=", ValueOption::LogFile}, {"/LOG=", ValueOption::LogFile},
};

bool IsSilentWord(const std::string& argument) {
  for (const char* word : kSilentWords) {
    if (argument == word) return true;
  }
  return false;
}

const ValueWord* FindValueWord(const std::string& argument) {
  for (const ValueWord& entry : kValueWords) {
    if (argument.starts_with(entry.prefix)) return &entry;
  }
  return nullptr;
}

const ActionWord* FindActionWord(const std::string& argument) {
  for (const ActionWord& entry : kActionWords) {
    if (argument == entry.word) return &entry;
  }
  return nullptr;
}

// Digits only, within int; nullopt otherwise.
std::optional<int> ParseCount(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// A size in bytes: digits with an optional K, M or G (binary multiples);
// nullopt for anything else or 0.
std::optional<int64_t> ParseSize(std::string_view text) {
  int shift = 0;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k': case 'K': shift = 10; break;
      case 'm': case 'M': shift = 20; break;
      case 'g': case 'G': shift = 30; break;
      default: break;
    }
    if (shift != 0) text.remove_suffix(1);
  }
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || error != std::errc() || stop != end || value <= 0 ||
      value > (int64_t{1} << (62 - shift))) {
    return std::nullopt;
  }
  return value << shift;
}

CommandOptions BadArguments(std::string error) {
  CommandOptions options;
  options.action = OptionAction::BadArguments;
  options.error = std::move(error);
  return options;
}

}  // namespace

CommandOptions ParseOptions(const std::vector<std::string>& arguments) {
  CommandOptions options;
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (optionsEnded) {
      options.positional.push_back(argument);
    } else if (argument == kEndOfOptions) {
      optionsEnded = true;
    } else if (const ActionWord* word = FindActionWord(argument)) {
      std::string archive;
      if (word->takesArchive) {
        if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
          return BadArguments(argument + " needs the path of an archive");
        }
        archive = arguments[++i];
      }
      if (options.action == OptionAction::RunRole) {
        options.action = word->action;
        options.archive = archive;
      }
    } else if (IsSilentWord(argument)) {
      options.unattended.silent = true;
    } else if (argument == kNoShortcutsWord) {
      options.unattended.noShortcuts = true;
    } else if (const ValueWord* word = FindValueWord(argument)) {
      const std::string value = argument.substr(word->prefix.size());
      const std::string name(word->prefix.substr(0, word->prefix.size() - 1));
      if (word->option == ValueOption::Folder) {
        if (value.empty()) return BadArguments(name + " needs a folder: " + name + "=FOLDER");
        // The current folder of whoever started an installer is no place
        // to install into.
        if (!sys::IsAbsolutePath(value)) return BadArguments(name + " needs a full path: " + argument);
        options.unattended.folder = value;
      } else {
        if (value.empty()) return BadArguments(name + " needs a file name: " + name + "=FILE");
        options.unattended.logFile = value;
      }
    } else if (argument == "--dir" || argument == "--log") {
      return BadArguments(argument + " takes its value after \"=\": " + argument + "=" +
                          (argument == "--dir" ? "FOLDER" : "FILE"));
    } else if (argument.starts_with(kThreadsPrefix)) {
      options.threads = ParseCount(std::string_view(argument).substr(kThreadsPrefix.size()));
      if (!options.threads) return BadArguments("--threads needs a whole number of threads: " + argument);
    } else if (argument.starts_with(kMemoryPrefix)) {
      options.memoryBudget = ParseSize(std::string_view(argument).substr(kMemoryPrefix.size()));
      if (!options.memoryBudget) return BadArguments("--memory needs a size such as 512M or 2G: " + argument);
    } else if (argument.starts_with(kCodePagePrefix)) {
      options.codePage = ParseCount(std::string_view(argument).substr(kCodePagePrefix.size()));
      if (!options.codePage || !sys::platform::SupportsCodePage(*options.codePage)) {
        return BadArguments("--codepage needs the number of a code page this system knows: " + argument);
      }
    } else if (argument.starts_with(kEndOfOptions)) {
      return BadArguments("unknown option " + argument);
    } else {
      options.positional.push_back(argument);
    }
  }
  return options;
}

std::string VersionText() { return std::string(kApplicationTitle) + " " + BREVION_VERSION; }

std::string UsageText() {
  return VersionText() +
         "\n"
         "\n"
         "Usage:\n"
         "  brevion                               install the package carried by this program\n"
         "  brevion install [PACKAGE]             install the package carried by PACKAGE\n"
         "  brevion uninstall LOG                 uninstall what the uninstall log LOG names\n"
         "  brevion build PACKAGE FOLDER [MODE] [NUMBER]\n"
         "                                        build an installer from a project folder\n"
         "  brevion archive DEST FOLDER           pack FOLDER into an archive in DEST\n"
         "  brevion ARCHIVE                       extract ARCHIVE into a chosen folder\n"
         "\n"
         "Options:\n"
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
         "  --silent, /S       install, uninstall or extract with no windows and no questions\n"
         "  --dir=FOLDER, /D=FOLDER\n"
         "                     install (or extract) into FOLDER, a full path\n"
         "  --no-shortcuts     install without desktop and Start menu shortcuts\n"
         "  --log=FILE, /LOG=FILE\n"
         "                     append a log of what was done to FILE\n"
         "  --                 treat every later argument as positional\n";
}

namespace {

// A stream that keeps nothing and counts the extent written, so an entry can
// be decoded without a file.
class DiscardStream : public compression::Stream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    if (count <= 0) return 0;
    position_ += count;
    extent_ = std::max(extent_, position_);
    return count;
  }
  int64_t Seek(int64_t offset, compression::SeekOrigin origin) override {
    const int64_t base = origin == compression::SeekOrigin::Beginning ? 0
                         : origin == compression::SeekOrigin::Current ? position_
                                                                       : extent_;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }
  int64_t Size() override { return extent_; }
  void SetSize(int64_t size) override { extent_ = size; }
  int64_t Position() override { return position_; }

 private:
  int64_t position_ = 0;
  int64_t extent_ = 0;
};

// The archive's index, or the exit code and message when it cannot be read.
struct OpenedIndex {
  archive::ArchiveIndex index;
  std::unique_ptr<compression::FileStream> file;
  int exitCode = kExitSuccess;
  std::string error;
};

OpenedIndex OpenIndex(const std::string& archivePath) {
  OpenedIndex opened;
  try {
    opened.file = std::make_unique<compression::FileStream>(archivePath, compression::FileStream::Mode::Read);
  } catch (const std::exception& error) {
    opened.exitCode = kExitIoFailure;
    opened.error = error.what();
    return opened;
  }
  try {
    opened.index = archive::ReadArchiveIndex(*opened.file, archivePath);
  } catch (const std::exception& error) {
    opened.exitCode = kExitDamaged;
    opened.error = error.what();
  }
  return opened;
}

bool IsCompressed(compression::FileStream& file, const archive::ArchiveIndex& index, size_t k) {
  if (index.names[k] == archive::layout::kStubName) return false;
  uint8_t flags = 0;
  file.Seek(index.EntryOffset(k) + archive::layout::kEntryFlagsOffset, compression::SeekOrigin::Beginning);
  file.ReadExact(&flags, 1);
  return (flags & archive::layout::kFlagCompressed) != 0;
}

// The entry's decoded size; throws when it cannot be decoded.
int64_t DecodedSize(const std::string& archivePath, const std::string& name) {
  DiscardStream sink;
  std::string letters;
  archive::ArchiveReadEntry(archivePath, name, sink, letters);
  return sink.Size();
}

std::string FormatDosDate(int32_t dosDateTime) {
  if (dosDateTime == 0) return "-";
  const sys::DosFields fields = sys::UnpackDosDateTime(dosDateTime);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", fields.year, fields.month, fields.day, fields.hour,
                fields.minute);
  return text;
}

void UseArchiveCodec() {
  archive::ArchiveSetCodec("normal", compression::CompressStreamCallback, compression::ExpandStreamCallback);
}

}  // namespace

int ListArchive(const std::string& archivePath, sys::TextWriter& out) {
  UseArchiveCodec();
  OpenedIndex opened = OpenIndex(archivePath);
  if (opened.exitCode != kExitSuccess) {
    out << opened.error << '\n';
    return opened.exitCode;
  }
  const archive::ArchiveIndex& index = opened.index;
  out << "Name\tSize\tStored\tDate\tAttributes\tCompression\n";
  for (size_t k = 0; k < index.EntryCount(); ++k) {
    const std::string& name = index.names[k];
    try {
      const bool compressed = IsCompressed(*opened.file, index, k);
      out << name << '\t' << DecodedSize(archivePath, name) << '\t' << index.StoredLength(k) << '\t'
          << FormatDosDate(index.StoredDate(k)) << '\t' << index.nameAttributes[k] << '\t'
          << (compressed ? "compressed" : "stored") << '\n';
    } catch (const std::exception& error) {
      out << name << ": " << error.what() << '\n';
      return kExitDamaged;
    }
  }
  return kExitSuccess;
}

int TestArchive(const std::string& archivePath, sys::TextWriter& out) {
  UseArchiveCodec();
  OpenedIndex opened = OpenIndex(archivePath);
  if (opened.exitCode == kExitSuccess && !archive::ArchiveVerify(archivePath, nullptr, nullptr)) {
    opened.exitCode = kExitDamaged;
    opened.error = archive::DamagedArchiveMessage(archivePath);
  }
  if (opened.exitCode != kExitSuccess) {
    out << opened.error << '\n';
    return opened.exitCode;
  }
  for (const std::string& name : opened.index.names) {
    try {
      DecodedSize(archivePath, name);
    } catch (const std::exception& error) {
      out << name << ": " << error.what() << '\n';
      return kExitDamaged;
    }
  }
  out << "OK\n";
  return kExitSuccess;
}

void ApplyTuning(const CommandOptions& options) {
  if (options.threads) compression::SetWorkerCount(*options.threads);
  if (options.codePage) archive::Module().legacyCodePage = *options.codePage;
  if (options.memoryBudget) compression::SetMemoryBudget(*options.memoryBudget);
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
  err << kApplicationTitle << ": " << options.error << "\nTry --help for the options.\n";
  return kExitBadArguments;
}

}  // namespace app
