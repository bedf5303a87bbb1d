#include "system/launch.h"

#include "system/paths.h"

namespace sys {

void LaunchFile(ui::Toolkit& toolkit, const std::string& file, const std::string& parameters) {
  std::string reason;
  if (!platform::ShellLaunch(file, parameters, ExtractFilePath(file), &reason)) {
    ui::ShowMessage(toolkit, kLaunchFailedMessage + file + (reason.empty() ? "" : "\n" + reason));
  }
}

}  // namespace sys
