#include <windows.h>
#include <shellapi.h>

#include "system/launch.h"

namespace sys::platform {

bool ShellLaunch(const std::string& file, const std::string& parameters, const std::string& workingFolder,
                 std::string* /*reason*/) {
  SHELLEXECUTEINFOA info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  // The refusal is reported by LaunchFile's own message; without NO_UI the
  // shell would show a second error box of its own first.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  // The active window is the installer's main window when the user presses
  // Close; the shell uses it as the owner of any message it shows.
  info.hwnd = GetActiveWindow();
  info.lpVerb = nullptr;  // the default action, normally "open"
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = workingFolder.empty() ? nullptr : workingFolder.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info)) return false;
  // Nothing waits for the started program; release its handle at once.
  if (info.hProcess) CloseHandle(info.hProcess);
  return true;
}

}  // namespace sys::platform
