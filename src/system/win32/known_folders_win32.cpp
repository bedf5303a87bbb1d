// Folder keywords on Windows: the shell's known folders, the Windows
// directory and the temporary-files path, read through the wide API and
// handed on in UTF-8 (a profile such as C:\Users\Łukasz has no ANSI form on
// most systems).
#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <vector>

#include "system/platform.h"
#include "system/win32/wide_text.h"

namespace sys::platform {
namespace {

const KNOWNFOLDERID* FolderIdOf(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::CommonPrograms: return &FOLDERID_CommonPrograms;
    case KnownFolder::CommonStartMenu: return &FOLDERID_CommonStartMenu;
    case KnownFolder::CommonStartup: return &FOLDERID_CommonStartup;
    case KnownFolder::Fonts: return &FOLDERID_Fonts;
    case KnownFolder::CommonAppData: return &FOLDERID_ProgramData;
    case KnownFolder::Desktop: return &FOLDERID_Desktop;
    case KnownFolder::Programs: return &FOLDERID_Programs;
    case KnownFolder::StartMenu: return &FOLDERID_StartMenu;
    case KnownFolder::Startup: return &FOLDERID_Startup;
    case KnownFolder::Documents: return &FOLDERID_Documents;
    case KnownFolder::AppData: return &FOLDERID_RoamingAppData;
    case KnownFolder::UserProgramFiles: return &FOLDERID_UserProgramFiles;
    default: return nullptr;
  }
}

// The known folder's path ("" when the shell has none). A folder that does
// not exist yet is still named: the callers create what they write into.
std::string ShellFolderPath(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
    result = win32::Narrow(path);
  CoTaskMemFree(path);  // the shell allocates even when it fails
  return result;
}

// The result of a call that fills a buffer and answers the length it
// needs when the buffer is too small.
template <typename Call>
std::string SizedText(Call call) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), length));
    buffer.resize(length + 1);
  }
}

}  // namespace

std::string KnownFolderPath(KnownFolder folder) {
  switch (folder) {
    case KnownFolder::Windows:
      return SizedText([](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
    case KnownFolder::Temp:
      return SizedText([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    default: break;
  }
  const KNOWNFOLDERID* id = FolderIdOf(folder);
  if (!id) return {};
  std::string path = ShellFolderPath(*id);
  if (path.empty() && folder == KnownFolder::Desktop) {
    const std::string profile = ShellFolderPath(FOLDERID_Profile);
    if (!profile.empty()) path = profile + (profile.back() == '\\' ? "desktop\\" : "\\desktop\\");
  }
  // Older systems know no per-user program folder: it is Programs below
  // the local application data.
  if (path.empty() && folder == KnownFolder::UserProgramFiles) {
    const std::string local = ShellFolderPath(FOLDERID_LocalAppData);
    if (!local.empty()) path = local + (local.back() == '\\' ? "Programs\\" : "\\Programs\\");
  }
  return path;
}

}  // namespace sys::platform
