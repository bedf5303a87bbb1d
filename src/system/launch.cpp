#include "system/launch.h"

#include "system/paths.h"

namespace sys {

Failure LaunchFile(const std::string& file, const std::string& parameters) {
  std::string reason;
  if (platform::ShellLaunch(file, parameters, ExtractFilePath(file), &reason)) return {};
  return MakeFailure(FailureKind::Io, file, kLaunchFailedMessage + file + (reason.empty() ? "" : "\n" + reason));
}

}  // namespace sys
