#include "installer/interim_executables.h"

#include "system/paths.h"
#include "system/platform.h"
#include "system/text.h"

namespace installer {

void MarkInterimExecutables(const std::string& installFolder, const std::string& programExe,
                            const sys::StringList& installedEntries) {
  const std::string program = sys::ToBackslashes(programExe);
  for (const std::string& entry : installedEntries) {
    if (entry.empty() || entry.back() == '\\') continue;  // a folder
    const bool inBin = entry.size() > 4 && sys::SameTextAscii(entry.substr(0, 4), "bin\\");
    if (inBin || sys::SameTextAscii(entry, program)) {
      sys::platform::MarkExecutable(sys::IncludeTrailingSeparator(installFolder) + sys::ToNativeSeparators(entry));
    }
  }
}

}  // namespace installer
