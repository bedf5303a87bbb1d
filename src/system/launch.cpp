#include "system/launch.h"

#include "system/paths.h"

namespace sys {

void LaunchFile(ui::Toolkit& toolkit, const std::string& file, const std::string& parameters) {
  if (!platform::ShellLaunch(file, parameters, ExtractFilePath(file))) {
    ui::ShowMessage(toolkit, kLaunchFailedMessage + file);
  }
}

}  // namespace sys
