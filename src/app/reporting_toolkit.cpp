#include "app/reporting_toolkit.h"

#include "system/activity_log.h"
#include "system/text.h"

namespace app {

ui::Answer ReportingToolkit::MessageBox(const std::string& caption, const std::string& text, ui::Buttons buttons,
                                        ui::Icon icon) {
  const bool problem = icon == ui::Icon::Error || icon == ui::Icon::Warning;
  const char* prefix = icon == ui::Icon::Error ? "Error: " : icon == ui::Icon::Warning ? "Warning: " : "";
  sys::LogAction(prefix + text);
  lastMessage_ = text;
  lastEchoed_ = problem && errors_;
  if (lastEchoed_) {
    std::string line = text;
    for (char& c : line) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    line = sys::EscapeControls(line);
    *errors_ << (caption.empty() ? inner_.title() : caption) << ": " << prefix << line << '\n';
  }
  return inner_.MessageBox(caption, text, buttons, icon);
}

}  // namespace app
