#include "app/unattended_options.h"

namespace app {

std::vector<std::string> NoShortcutsWords(bool noDesktopShortcut, bool noStartMenuShortcut) {
  if (noDesktopShortcut && noStartMenuShortcut) return {"--no-shortcuts"};
  if (noDesktopShortcut) return {"--no-shortcuts=desktop"};
  if (noStartMenuShortcut) return {"--no-shortcuts=startmenu"};
  return {};
}

}  // namespace app
