// File associations: the installed program as the opener of a file class
// (an extension such as ".txt", or a class name).
//
// Windows: one association writes two default (unnamed) string values below
// the class key K of HKEY_CLASSES_ROOT, and nothing else:
//   K\shell\open\command  = <program> %1      (no quotes added)
//   K\DefaultIcon         = <icon file>,0     (the program when no icon)
// and associations are never removed.
// Elsewhere the desktop's own MIME database is used: a MIME type for K, a
// handler desktop entry for the program, the default in mimeapps.list and
// the icon in the hicolor theme; the uninstall run removes them again
// (docs/linux-integration.md).
#pragma once

#include <optional>
#include <string>

namespace sys {

// The key paths and value texts of one association.
inline constexpr const char* kOpenCommandKey = "\\shell\\open\\command";
inline constexpr const char* kDefaultIconKey = "\\DefaultIcon";
inline constexpr const char* kAssociationWriteError = "Failed to set data for ''";

// Registers `program` as the opener of `classKey`. Existing values are
// overwritten; other values and subkeys of the class key stay.
// Throws std::runtime_error("Failed to set data for ''") when a value
// cannot be written.
void SetFileAssociation(const std::string& program, const std::string& classKey,
                        const std::string& iconFile);

// Undoes SetFileAssociation when `program` is still the class's opener (a
// later installation's association is left alone). Windows keeps
// associations: nothing is done there.
void RemoveFileAssociation(const std::string& program, const std::string& classKey);

// The two values as stored for a class key.
struct FileAssociation {
  std::string openCommand;  // "" when the key or value is missing
  std::string defaultIcon;
};

// Reads back what SetFileAssociation wrote; nullopt when neither value
// exists.
std::optional<FileAssociation> GetFileAssociation(const std::string& classKey);

namespace platform {

// The association of `classKey` with `program`, shown with `iconFile` (never
// empty). Throws std::runtime_error(kAssociationWriteError) on failure.
void RegisterFileClass(const std::string& program, const std::string& classKey, const std::string& iconFile);
// What RegisterFileClass stored, in the registry's value forms.
std::optional<FileAssociation> ReadFileClass(const std::string& classKey);
// See RemoveFileAssociation.
void UnregisterFileClass(const std::string& program, const std::string& classKey);
// Puts the class back as it was before `program` was registered for it
// (`before`: what ReadFileClass returned then), for a cancelled install.
// Windows writes the earlier values back and removes those the class did
// not have, with the keys left empty (a class that did not exist is gone
// again; other keys of the class stay); elsewhere the program's
// registration is withdrawn, which leaves any earlier opener in charge.
void RestoreFileClass(const std::string& program, const std::string& classKey,
                      const std::optional<FileAssociation>& before);

// Windows only, the registry below HKEY_CLASSES_ROOT:
// Writes the default value of the key `keyPath` (relative to the classes
// root, levels separated by "\"), creating missing keys and flushing the
// key when it is closed. Throws std::runtime_error("Failed to set data for
// ''") when the value cannot be written.
void WriteClassesRootDefault(const std::string& keyPath, const std::string& value);

// The default value of `keyPath` below the classes root; nullopt when the
// key or its default value does not exist.
std::optional<std::string> ReadClassesRootDefault(const std::string& keyPath);

}  // namespace platform
}  // namespace sys
