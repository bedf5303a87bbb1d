#include "installer/build_checks.h"

#include <algorithm>

#include "compression/codecs.h"
#include "installer/vel_installer.h"
#include "system/files.h"
#include "system/paths.h"
#include "system/platform.h"
#include "system/settings.h"
#include "system/text.h"

namespace installer {

namespace {

constexpr const char* kScriptName = "install.dat";
constexpr std::string_view kInstallDirReference = "$install_dir$";

// The variables the installer reads; the folder variables come from
// AddFolderVariables, as the engine's own list does.
constexpr const char* kKnownVariables[] = {
    "ProgramName",  "DisplayName",       "ProgramExe",     "ProgramIcon",    "StartMenuFolder",
    "Version",      "InstallationTitle", "ReadmeAvailable", "PreventDirectoryChange", "FinishedExtra",
    "FinishedLaunch", "FinishedNoLaunch", "UninstallerName", "install_dir",   "apps_dir",
    // Read by the builder for the installer's own icon and version.
    "SetupIcon",    "Copyright",
};

std::string Lower(std::string text) { return sys::LowerAscii(text); }

// Spaces and control characters at both ends go, as the installer trims.
std::string Trim(const std::string& line) {
  size_t begin = 0, end = line.size();
  while (begin < end && static_cast<unsigned char>(line[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(line[end - 1]) <= ' ') --end;
  return line.substr(begin, end - begin);
}

// Levenshtein distance, for "did you mean" on variable names.
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

struct ScriptLine {
  int number;
  std::string text;  // trimmed
};

class Checker {
 public:
  Checker(const std::string& projectFolder) : project_(sys::IncludeTrailingSeparator(projectFolder)) {
    files_ = project_ + "files" + sys::PathSeparator();
    newLayout_ = sys::FolderExists(files_ + "install_dir");
    sys::StringList folders;
    sys::AddFolderVariables(folders, "_dir");
    for (const std::string& entry : folders) known_.push_back(Lower(entry.substr(0, entry.find('='))));
    for (const char* name : kKnownVariables) known_.push_back(Lower(name));
  }

  void Error(const std::string& where, const std::string& text, int line = 0) {
    result.findings.push_back({where, true, text, line});
  }
  void Warning(const std::string& where, const std::string& text, int line = 0) {
    result.findings.push_back({where, false, text, line});
  }

  bool CheckFolders() {
    if (!sys::FolderExists(project_)) {
      Error(project_, "the project folder does not exist");
      return false;
    }
    if (!sys::FolderExists(files_)) {
      Error(files_, "the project has no \"files\" folder: its contents become the package");
      return false;
    }
    return true;
  }

  void CheckScript() {
    const std::string path = files_ + kScriptName;
    if (!sys::FileExists(path)) {
      Warning(path, "no install.dat: the installer will run on its defaults (no program name, no folder proposed, "
                    "default shortcuts to nothing, the uninstaller named " +
                        std::string(kDefaultUninstallerName) + ")");
      return;
    }
    ReadScript(path);
    const size_t first = result.findings.size();
    for (const ScriptLine& line : lines_) CheckLine(line);
    CheckVariables();
    // Variables are judged once the whole script is read; report in line order.
    std::stable_sort(result.findings.begin() + static_cast<std::ptrdiff_t>(first), result.findings.end(),
                     [](const BuildFinding& a, const BuildFinding& b) { return a.line < b.line; });
  }

  void CheckPages() {
    const std::string license = files_ + (newLayout_ ? "temp_dir" : PageFolderOnDisk()) + sys::PathSeparator() +
                                "license.htm";
    if (!sys::FileExists(license)) Warning(license, "no license.htm: the licence panel will be empty");
  }

  ProjectCheck result;

 private:
  // The older layout's page folder as spelt on disk ("install" in any case).
  std::string PageFolderOnDisk() const {
    sys::StringList folders;
    sys::ListFolder(folders, files_, "d", "*.*");
    for (const std::string& name : folders) {
      if (sys::SameTextAscii(name, "install")) return name;
    }
    return "install";
  }

  void ReadScript(const std::string& path) {
    // The platform's reader, not a C++ stream: the Windows program is the
    // stub of every installer, and the stream library would add to it.
    const std::string text = sys::platform::ReadWholeFile(sys::ToNativeSeparators(path)).value_or(std::string());
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string raw = text.substr(start, end - start);
      start = end + 1;
      if (number == 1 && raw.starts_with(kUtf8ByteOrderMark)) raw.erase(0, std::string_view(kUtf8ByteOrderMark).size());
      lines_.push_back({number, Trim(raw)});
      allText_ += Lower(raw) + "\n";
    }
  }

  static std::string At(int line) { return std::string(kScriptName) + ":" + std::to_string(line); }

  void CheckLine(const ScriptLine& line) {
    const std::string& text = line.text;
    if (text.size() < 2 || text.starts_with("# ")) return;
    if (text.front() == '#') {
      const std::string name = text.substr(1, 90);
      section_ = std::find(std::begin(kScriptSections), std::end(kScriptSections), name) != std::end(kScriptSections)
                     ? name
                     : "";
      if (section_.empty()) {
        Error(At(line.number), "unknown section \"#" + name +
                                   "\": the sections are #variables, #shortcuts, #associations and #registry "
                                   "(a comment begins with \"# \")", line.number);
      }
      return;
    }
    if (section_ == "variables") {
      const size_t equals = text.find('=');
      if (equals == std::string::npos || equals + 1 >= text.size() || text[equals + 1] == '=') return;
      const std::string name = text.substr(0, equals);
      std::string value = text.substr(equals + 1);
      value = value.substr(0, value.find('='));
      variables_.push_back({line.number, name, value});
    } else if (section_ == "shortcuts") {
      CheckInstalledReference(line.number, Field(text, 1), "the shortcut's target");
    } else if (section_ == "associations") {
      CheckInstalledReference(line.number, Field(text, 0), "the association's program");
    }
  }

  static std::string Field(const std::string& record, size_t index) {
    sys::StringList fields;
    sys::SplitDelimited(record, "|", fields);
    return index < fields.size() ? fields[index] : "";
  }

  // Whether the package puts `relative` (below the install folder) there.
  bool InPackage(const std::string& relative) const {
    const std::string native = sys::ToNativeSeparators(relative);
    if (newLayout_) return sys::FileExists(files_ + "install_dir" + sys::PathSeparator() + native);
    // The older layout: every visible folder but "install" goes below install_dir.
    const std::string first = native.substr(0, native.find_first_of("/\\"));
    return first != native && !sys::SameTextAscii(first, "install") && sys::FileExists(files_ + native);
  }

  std::string PackagePlace(const std::string& relative) const {
    return (newLayout_ ? "files/install_dir/" : "files/") + relative;
  }

  void CheckInstalledReference(int number, const std::string& target, const std::string& what) {
    if (target.size() <= kInstallDirReference.size() ||
        Lower(target.substr(0, kInstallDirReference.size())) != kInstallDirReference) {
      return;
    }
    const std::string relative = target.substr(kInstallDirReference.size());
    if (!InPackage(relative)) {
      Error(At(number), what + " " + target + " is not in the package (no " + PackagePlace(relative) + ")", number);
    }
  }

  struct Variable {
    int line;
    std::string name, value;
  };

  void CheckVariables() {
    for (const Variable& variable : variables_) {
      const std::string lower = Lower(variable.name);
      if ((lower == "programexe" || lower == "programicon") && !variable.value.empty() && !InPackage(variable.value)) {
        Error(At(variable.line), variable.name + " " + variable.value + " is not in the package (no " +
                                     PackagePlace(variable.value) + ")", variable.line);
      }
      if (variable.name == "ReadmeAvailable" && variable.value == "true" && !InPackage("Readme.htm") &&
          !InPackage("Readme.txt")) {
        Warning(At(variable.line), "ReadmeAvailable=true, but the package holds no Readme.htm or Readme.txt "
                                   "for the install folder", variable.line);
      }
      if (std::find(known_.begin(), known_.end(), lower) != known_.end()) continue;
      // A variable of the publisher's own, used in the script as $name$.
      if (allText_.find("$" + lower + "$") != std::string::npos) continue;
      std::string text = "unknown variable \"" + variable.name + "\": the installer does not read it";
      for (const char* name : kKnownVariables) {
        if (Distance(lower, Lower(name)) <= 2) {
          text += "; did you mean " + std::string(name) + "?";
          break;
        }
      }
      Warning(At(variable.line), text, variable.line);
    }
  }

  std::string project_;
  std::string files_;
  bool newLayout_ = false;
  std::vector<std::string> known_;
  std::vector<ScriptLine> lines_;
  std::vector<Variable> variables_;
  std::string section_;
  std::string allText_;
};

}  // namespace

int ProjectCheck::Count(bool errors) const {
  return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                        [errors](const BuildFinding& f) { return f.error == errors; }));
}

ProjectCheck CheckProject(const std::string& projectFolder, const std::string& packagePath,
                          const std::string& compressionMode, const std::string& builderPath) {
  Checker checker(projectFolder);
  if (!compressionMode.empty() && !compression::IsCompressionModeName(compressionMode)) {
    checker.Error("brevion build", "unknown compression mode \"" + compressionMode +
                                       "\"; the modes are " + compression::CompressionModeNames());
  }
  if (sys::LowerAscii(sys::ExtractFileExt(packagePath)) == ".exe" &&
      BuildStubFor(packagePath, builderPath) == builderPath && !sys::LowerAscii(builderPath).ends_with(".exe")) {
    checker.Error(packagePath, "an installer named \".exe\" needs the Windows program " +
                                   sys::ExtractFilePath(builderPath) +
                                   "brevion.exe beside the builder; without it a Linux program would be written");
  }
  if (checker.CheckFolders()) {
    checker.CheckScript();
    checker.CheckPages();
  }
  return std::move(checker.result);
}

std::string FormatFinding(const BuildFinding& finding, bool warningsAreErrors) {
  const bool error = finding.error || warningsAreErrors;
  return finding.where + ": " + (error ? "error: " : "warning: ") + finding.text;
}

}  // namespace installer
