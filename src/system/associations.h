// File associations: the installed program as the opener of a file class
// (an extension such as ".txt", or a class name).
//
// One association writes two default (unnamed) string values below the
// class key K of the classes root:
//   K\shell\open\command  = <program> %1      (no quotes added)
//   K\DefaultIcon         = <icon file>,0     (the program when no icon)
// Windows keeps them in the registry under HKEY_CLASSES_ROOT; elsewhere in
// a file store with the same keys (docs/linux-integration.md). Nothing else
// is written, and associations are never removed.
#pragma once

#include <optional>
#include <string>

namespace sys {

// The key paths and value texts of one association.
inline constexpr const char* kOpenCommandKey = "\\shell\\open\\command";
inline constexpr const char* kDefaultIconKey = "\\DefaultIcon";

// Registers `program` as the opener of `classKey`. Existing values are
// overwritten; other values and subkeys of the class key stay.
// Throws std::runtime_error("Failed to set data for ''") when a value
// cannot be written.
void SetFileAssociation(const std::string& program, const std::string& classKey,
                        const std::string& iconFile);

// The two values as stored for a class key.
struct FileAssociation {
  std::string openCommand;  // "" when the key or value is missing
  std::string defaultIcon;
};

// Reads back what SetFileAssociation wrote; nullopt when neither value
// exists.
std::optional<FileAssociation> GetFileAssociation(const std::string& classKey);

namespace platform {

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
