// The installed-programs entry on Windows: a key below
// Software\Microsoft\Windows\CurrentVersion\Uninstall of HKEY_LOCAL_MACHINE
// or HKEY_CURRENT_USER, through the wide registry API.
#include <windows.h>

#include <cstring>
#include <string>

#include "system/apps_entry.h"
#include "system/win32/wide_text.h"

namespace sys::platform {
namespace {

HKEY RootOf(InstallScope scope) { return scope == InstallScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

std::wstring KeyPath(const std::string& key) { return win32::Widen(std::string(kAppsEntryKeyPath) + key); }

}  // namespace

bool WriteAppsEntry(InstallScope scope, const std::string& key, const AppsEntry& entry) {
  if (key.empty()) return false;
  const std::wstring path = KeyPath(key);
  // Values an earlier version wrote and this one has not go with the key.
  RegDeleteTreeW(RootOf(scope), path.c_str());
  HKEY handle = nullptr;
  if (RegCreateKeyExW(RootOf(scope), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (const AppsEntryValue& value : entry) {
    const std::wstring name = win32::Widen(value.name);
    LONG result;
    if (value.number) {
      const DWORD number = static_cast<DWORD>(std::stoul(value.value));
      result = RegSetValueExW(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    } else {
      const std::wstring text = win32::Widen(value.value);
      result = RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    ok = ok && result == ERROR_SUCCESS;
  }
  RegFlushKey(handle);
  RegCloseKey(handle);
  return ok;
}

std::optional<AppsEntry> ReadAppsEntry(InstallScope scope, const std::string& key) {
  HKEY handle = nullptr;
  if (key.empty() || RegOpenKeyExW(RootOf(scope), KeyPath(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return std::nullopt;
  AppsEntry entry;
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = 16384, type = 0, size = 0;
    if (RegEnumValueW(handle, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::wstring data(size / sizeof(wchar_t) + 2, L'\0');
    DWORD dataSize = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    nameLength = 16384;
    if (RegEnumValueW(handle, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                      &dataSize) != ERROR_SUCCESS)
      break;
    if (type == REG_DWORD) {
      DWORD number = 0;
      std::memcpy(&number, data.data(), sizeof number);
      entry.push_back({win32::Narrow(std::wstring_view(name, nameLength)), std::to_string(number), true});
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      data.resize(dataSize / sizeof(wchar_t));
      while (!data.empty() && data.back() == L'\0') data.pop_back();
      entry.push_back({win32::Narrow(std::wstring_view(name, nameLength)), win32::Narrow(data), false});
    }
  }
  RegCloseKey(handle);
  return entry;
}

bool RemoveAppsEntry(InstallScope scope, const std::string& key) {
  if (key.empty()) return true;
  const LONG result = RegDeleteTreeW(RootOf(scope), KeyPath(key).c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

}  // namespace sys::platform
