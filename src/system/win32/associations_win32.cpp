// The classes root on Windows: HKEY_CLASSES_ROOT through the wide registry
// API (key paths and values arrive in UTF-8).
#include <windows.h>

#include <stdexcept>

#include "system/apps_entry.h"
#include "system/associations.h"
#include "system/win32/wide_text.h"

namespace sys::platform {
namespace {

// An open registry key, flushed and closed when it goes.
class RegistryKey {
 public:
  RegistryKey(HKEY root, const std::string& path, bool create) {
    const std::wstring widePath = win32::Widen(path);
    if (create)
      opened_ = RegCreateKeyExW(root, widePath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_READ | KEY_WRITE, nullptr, &key_, nullptr) == ERROR_SUCCESS;
    else
      opened_ = RegOpenKeyExW(root, widePath.c_str(), 0, KEY_READ, &key_) == ERROR_SUCCESS;
    flush_ = create;
  }
  ~RegistryKey() {
    if (!opened_) return;
    if (flush_) RegFlushKey(key_);
    RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool opened() const { return opened_; }
  HKEY handle() const { return key_; }

 private:
  HKEY key_ = nullptr;
  bool opened_ = false;
  bool flush_ = false;
};

// The classes of every user (HKEY_CLASSES_ROOT), or the current user's own
// (HKEY_CURRENT_USER\Software\Classes) for a per-user installation.
HKEY ClassesRoot() { return CurrentInstallScope() == InstallScope::User ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT; }
std::string ClassesPath(const std::string& keyPath) {
  return CurrentInstallScope() == InstallScope::User ? "Software\\Classes\\" + keyPath : keyPath;
}

}  // namespace

void WriteClassesRootDefault(const std::string& keyPath, const std::string& value) {
  RegistryKey key(ClassesRoot(), ClassesPath(keyPath), true);
  // The stored text includes its terminating zero, as REG_SZ wants.
  const std::wstring wide = win32::Widen(value);
  const bool written =
      key.opened() &&
      RegSetValueExW(key.handle(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                     static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  if (!written) throw std::runtime_error("Failed to set data for ''");
}

std::optional<std::string> ReadClassesRootDefault(const std::string& keyPath) {
  RegistryKey key(ClassesRoot(), ClassesPath(keyPath), false);
  if (!key.opened()) return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.handle(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return std::nullopt;
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.handle(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                       &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.resize(size / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return win32::Narrow(value);
}

void RegisterFileClass(const std::string& program, const std::string& classKey, const std::string& iconFile) {
  WriteClassesRootDefault(classKey + kOpenCommandKey, program + " %1");
  WriteClassesRootDefault(classKey + kDefaultIconKey, iconFile + ",0");
}

std::optional<FileAssociation> ReadFileClass(const std::string& classKey) {
  auto command = ReadClassesRootDefault(classKey + kOpenCommandKey);
  auto icon = ReadClassesRootDefault(classKey + kDefaultIconKey);
  if (!command && !icon) return std::nullopt;
  return FileAssociation{command.value_or(""), icon.value_or("")};
}

// Associations outlive the installation on Windows.
void UnregisterFileClass(const std::string& /*program*/, const std::string& /*classKey*/) {}

namespace {

// True when the key exists and holds neither values nor subkeys.
bool IsEmptyKey(const std::string& keyPath) {
  RegistryKey key(HKEY_CLASSES_ROOT, keyPath, false);
  DWORD subkeys = 0, values = 0;
  return key.opened() &&
         RegQueryInfoKeyW(key.handle(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                          nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

// Deletes the default value of classKey + subPath, then each key from
// there up to the class key itself that is left holding nothing: what the
// registration made goes, what others keep in the class stays.
void RemoveClassesRootDefault(const std::string& classKey, const std::string& subPath) {
  std::string path = classKey + subPath;
  RegDeleteKeyValueW(HKEY_CLASSES_ROOT, win32::Widen(path).c_str(), nullptr);
  while (path.size() >= classKey.size() && IsEmptyKey(path)) {
    if (RegDeleteKeyW(HKEY_CLASSES_ROOT, win32::Widen(path).c_str()) != ERROR_SUCCESS) return;
    const size_t level = path.rfind('\\');
    if (level == std::string::npos) return;
    path.resize(level);
  }
}

}  // namespace

void RestoreFileClass(const std::string& /*program*/, const std::string& classKey,
                      const std::optional<FileAssociation>& before) {
  // A value the class did not have before goes (with the keys it leaves
  // empty), so a class that the installation made is gone entirely.
  const FileAssociation earlier = before.value_or(FileAssociation{});
  const auto put = [&classKey](const char* subPath, const std::string& value) {
    if (value.empty()) {
      RemoveClassesRootDefault(classKey, subPath);
    } else {
      WriteClassesRootDefault(classKey + subPath, value);
    }
  };
  put(kOpenCommandKey, earlier.openCommand);
  put(kDefaultIconKey, earlier.defaultIcon);
}

}  // namespace sys::platform
