#include "system/paths.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "system/platform.h"

namespace sys {
namespace {

using platform::KnownFolder;

// Keyword -> platform folder. Keywords are matched exactly, letter case
// included.
constexpr std::array<std::pair<std::string_view, KnownFolder>, 14> kKeywordFolders{{
    {"windows", KnownFolder::Windows},
    {"temp", KnownFolder::Temp},
    {"programs", KnownFolder::CommonPrograms},
    {"startmenu", KnownFolder::CommonStartMenu},
    {"startup", KnownFolder::CommonStartup},
    {"fonts", KnownFolder::Fonts},
    {"appdata", KnownFolder::CommonAppData},
    {"user_desktop", KnownFolder::Desktop},
    {"desktop", KnownFolder::Desktop},
    {"user_programs", KnownFolder::Programs},
    {"user_startmenu", KnownFolder::StartMenu},
    {"user_startup", KnownFolder::Startup},
    {"user_documents", KnownFolder::Documents},
    {"user_appdata", KnownFolder::AppData},
}};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Position just after the last delimiter of `path` (0 when there is none).
size_t NameStart(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsPathDelimiter(path[i - 1])) return i;
  return 0;
}

std::string ReplaceSeparators(std::string_view path, char separator) {
  std::string result(path);
  for (char& c : result)
    if (IsSeparator(c)) c = separator;
  return result;
}

}  // namespace

const char* const kFolderVariableList =
    "windows|programs|startmenu|startup|fonts|user_desktop|user_programs|user_startmenu|"
    "user_startup|user_documents|appdata|user_appdata|temp";

char PathSeparator() { return platform::kPathSeparator; }

bool IsPathDelimiter(char c) {
  for (const char* d = platform::kPathDelimiters; *d; ++d)
    if (*d == c) return true;
  return false;
}

std::string SpecialFolderPath(std::string_view keyword) {
  for (const auto& [word, folder] : kKeywordFolders)
    if (word == keyword) return IncludeTrailingSeparator(platform::KnownFolderPath(folder));
  return IncludeTrailingSeparator(keyword);
}

std::string UserProgramFilesFolder() {
  return IncludeTrailingSeparator(platform::KnownFolderPath(platform::KnownFolder::UserProgramFiles));
}

void AddFolderVariables(StringList& variables, std::string_view suffix) {
  StringList keywords;
  SplitDelimited(kFolderVariableList, "|", keywords);
  for (const std::string& keyword : keywords)
    SetSettingValue(keyword + std::string(suffix), SpecialFolderPath(keyword), variables, true);
}

std::string IncludeTrailing(std::string_view text, char separator) {
  std::string result(text);
  if (!result.empty() && result.back() != separator) result += separator;
  return result;
}

std::string IncludeTrailingSeparator(std::string_view path) {
  std::string result(path);
  if (!result.empty() && !IsSeparator(result.back())) result += PathSeparator();
  return result;
}

std::string ExcludeTrailingSeparator(std::string_view path) {
  std::string result(path);
  if (result.size() > 1 && IsSeparator(result.back())) result.pop_back();
  return result;
}

std::string ExtractFilePath(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::string ExtractFileName(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string ExtractFileExt(std::string_view path) {
  std::string_view name = path.substr(NameStart(path));
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeExtension(std::string_view fileName, std::string_view newExtension) {
  size_t extension = ExtractFileExt(fileName).size();
  return std::string(fileName.substr(0, fileName.size() - extension)) + std::string(newExtension);
}

std::string ExeFolder() {
  return IncludeTrailingSeparator(ExtractFilePath(platform::ExecutablePath()));
}

std::string ToNativeSeparators(std::string_view path) {
  return ReplaceSeparators(path, PathSeparator());
}

std::string ToBackslashes(std::string_view path) { return ReplaceSeparators(path, '\\'); }

bool IsAbsolutePath(std::string_view path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (PathSeparator() != '\\') return !path.empty() && separator(path[0]);
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     separator(path[2]);
  const bool network = path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]);
  return drive || network;
}

}  // namespace sys

namespace sys::platform {

std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace sys::platform
