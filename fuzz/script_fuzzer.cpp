// Arbitrary bytes as an installation script ("install.dat"): split into
// lines as the engine reads the file, parsed by ParseScript, then applied to
// the real main window by ApplyScriptSettings, with a toolkit that shows
// nothing. A script is a clean failure at worst; crashes, leaks and hangs
// are not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/main_window_def.h"
#include "installer/vel_installer.h"
#include "system/settings.h"
#include "ui/form.h"
#include "ui/toolkit.h"

namespace {

// A toolkit without a screen: every dialog answers as if closed, pages
// never load, timers never run.
class SilentToolkit : public ui::Toolkit {
 public:
  void SetTitle(const std::string& title) override { title_ = title; }
  const std::string& title() const override { return title_; }
  void SetErrorHandler(ui::ErrorHandler) override {}
  void ShowForm(ui::Form& form) override { form.Show(); }
  void HideForm(ui::Form& form) override { form.Hide(); }
  void CloseForm(ui::Form& form) override { form.Close(); }
  void Run(ui::Form&) override {}
  void WaitUntil(ui::Form&, const std::function<bool()>&) override {}
  void ProcessMessages() override {}
  void StartTimer(int, std::function<void()>) override {}
  ui::Answer MessageBox(const std::string&, const std::string&, ui::Buttons, ui::Icon) override {
    return ui::Answer::Cancel;
  }
  std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::string ChooseDirectory(const std::string&, const std::string&) override { return ""; }
  void Navigate(ui::Control&, const std::string&) override {}
  bool DocumentComplete(ui::Control&) override { return true; }
  void HideBodyOverflow(ui::Control&) override {}

 private:
  std::string title_;
};

// The lines of the script: LF ends a line, a CR before it is dropped.
sys::StringList SplitLines(const uint8_t* data, size_t size) {
  sys::StringList lines;
  std::string line;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
      line.clear();
    } else {
      line += char(data[i]);
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Scripts are a few kilobytes; the cap keeps hostile inputs quick.
  if (size > (64 << 10)) return 0;
  static SilentToolkit toolkit;
  // The window is built once: building all its controls costs more than
  // reading a script. Each run's engine binds it afresh and fills from its own
  // variables what the script settings touch.
  static ui::Form window(app::MainWindowDefinition());
  try {
    auto engine = std::make_shared<installer::VelInstaller>(window, toolkit);
    engine->ParseScript(SplitLines(data, size));
    engine->ApplyScriptSettings();
  } catch (const std::exception&) {
  }
  return 0;
}
