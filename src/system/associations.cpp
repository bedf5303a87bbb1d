#include "system/associations.h"

namespace sys {

void SetFileAssociation(const std::string& program, const std::string& classKey,
                        const std::string& iconFile) {
  const std::string& icon = iconFile.empty() ? program : iconFile;
  platform::WriteClassesRootDefault(classKey + kOpenCommandKey, program + " %1");
  platform::WriteClassesRootDefault(classKey + kDefaultIconKey, icon + ",0");
}

std::optional<FileAssociation> GetFileAssociation(const std::string& classKey) {
  auto command = platform::ReadClassesRootDefault(classKey + kOpenCommandKey);
  auto icon = platform::ReadClassesRootDefault(classKey + kDefaultIconKey);
  if (!command && !icon) return std::nullopt;
  return FileAssociation{command.value_or(""), icon.value_or("")};
}

}  // namespace sys
