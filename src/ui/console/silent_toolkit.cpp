#include "ui/console/silent_toolkit.h"

namespace ui {

void SilentToolkit::RunTimers() {
  while (!timers_.empty()) {
    std::function<void()> tick = std::move(timers_.front());
    timers_.pop_front();
    RunGuarded(*this, errorHandler_, tick);
  }
}

void SilentToolkit::Run(Form& main) {
  main.Show();
  int steps = 0;
  while (!main.closed()) {
    if (!timers_.empty()) {
      RunTimers();
      continue;
    }
    bool acted = false;
    if (idle_ && steps < kMaxIdleSteps) {
      ++steps;
      RunGuarded(*this, errorHandler_, [&] { acted = idle_(main); });
    }
    if (!acted) RunGuarded(*this, errorHandler_, [&main] { main.Close(); });
  }
}

void SilentToolkit::WaitUntil(Form& form, const std::function<bool()>& done) {
  RunTimers();
  if (!done() && form.visible()) RunGuarded(*this, errorHandler_, [&form] { form.Close(); });
}

Answer SilentToolkit::MessageBox(const std::string& caption, const std::string& text, Buttons buttons, Icon icon) {
  if (receiver_) receiver_(caption.empty() ? title_ : caption, text, icon);
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::YesNoCancel: return Answer::Cancel;
  }
  return Answer::Cancel;
}

std::optional<std::string> SilentToolkit::InputBox(const std::string&, const std::string&, const std::string& answer) {
  if (answer.empty()) return std::nullopt;
  return answer;
}

}  // namespace ui
