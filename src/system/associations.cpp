#include "system/associations.h"

namespace sys {

void SetFileAssociation(const std::string& program, const std::string& classKey,
                        const std::string& iconFile) {
  platform::RegisterFileClass(program, classKey, iconFile.empty() ? program : iconFile);
}

void RemoveFileAssociation(const std::string& program, const std::string& classKey) {
  platform::UnregisterFileClass(program, classKey);
}

std::optional<FileAssociation> GetFileAssociation(const std::string& classKey) {
  return platform::ReadFileClass(classKey);
}

}  // namespace sys
