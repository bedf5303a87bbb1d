#include <windows.h>
#include <shellapi.h>

#include "system/launch.h"
#include "system/win32/wide_text.h"

namespace sys::platform {

bool ShellLaunch(const std::string& file, const std::string& parameters, const std::string& workingFolder,
                 std::string* /*reason*/) {
  const std::wstring wideFile = win32::Widen(file);
  const std::wstring wideParameters = win32::Widen(parameters);
  const std::wstring wideFolder = win32::Widen(workingFolder);
  SHELLEXECUTEINFOW info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  // The refusal is reported by LaunchFile's own message; without NO_UI the
  // shell would show a second error box of its own first.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  // The active window is the installer's main window when the user presses
  // Close; the shell uses it as the owner of any message it shows.
  info.hwnd = GetActiveWindow();
  info.lpVerb = nullptr;  // the default action, normally "open"
  info.lpFile = wideFile.c_str();
  info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
  info.lpDirectory = wideFolder.empty() ? nullptr : wideFolder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  // Nothing waits for the started program; release its handle at once.
  if (info.hProcess) CloseHandle(info.hProcess);
  return true;
}

bool IsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                        elevation.TokenIsElevated != 0;
  CloseHandle(token);
  if (elevated) return true;
  // Where the token says nothing useful (no UAC, or an emulated system),
  // the rights themselves decide: the all-users list of installed programs
  // is writable only with administrator rights.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, KEY_WRITE,
                    &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

ElevatedRun RunElevatedAndWait(const std::string& program, const std::string& parameters,
                               const std::function<void()>& idle) {
  const std::wstring file = win32::Widen(program), arguments = win32::Widen(parameters);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = arguments.c_str();
  info.nShow = SW_SHOWNORMAL;
  ElevatedRun run;
  if (!ShellExecuteExW(&info) || !info.hProcess) {
    run.refused = GetLastError() == ERROR_CANCELLED;
    return run;
  }
  run.started = true;
  // Messages keep arriving while the elevated run works: the window that
  // waits must still paint.
  while (MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    if (idle) idle();
  }
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  run.exitCode = static_cast<int>(code);
  return run;
}

}  // namespace sys::platform
