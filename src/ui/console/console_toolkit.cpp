#include "ui/console/console_toolkit.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <istream>
#include <iterator>
#include <ostream>

#include "system/legacy_text.h"
#include "system/text.h"
#include "ui/html_text.h"

namespace ui {

namespace {

constexpr int kBarWidth = 30;
constexpr size_t kLineWidth = 79;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Multi-line texts use CR LF; a console wants plain line feeds. Other
// control characters (a file name may hold an escape sequence) are shown
// escaped, never sent to the terminal.
std::string ConsoleText(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c != '\r') result += c;
  }
  return sys::EscapeControls(result, "\n\t");
}

// A button caption as the user types it: without the accelerator marker.
std::string PlainCaption(const std::string& caption) {
  std::string result;
  for (char c : caption) {
    if (c != '&') result += c;
  }
  return Lower(Trim(result));
}

bool IsTrue(const std::string& value) {
  std::string word = Lower(Trim(value));
  return word == "1" || word == "true" || word == "yes" || word == "y";
}

std::optional<Answer> ParseAnswer(const std::string& line, Buttons buttons) {
  std::string word = Lower(Trim(line));
  if (word == "y" || word == "yes") return Answer::Yes;
  if (word == "n" || word == "no") return Answer::No;
  if (buttons == Buttons::YesNoCancel && (word == "c" || word == "cancel")) return Answer::Cancel;
  return std::nullopt;
}

bool IsDigits(const std::string& text) {
  return !text.empty() && text.size() < 4 &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// `line` broken at spaces into lines of at most kConsoleWidth columns (a
// word longer than that stays whole). Columns are counted per UTF-8
// character.
constexpr size_t kConsoleWidth = 78;
std::string Wrapped(const std::string& line) {
  size_t total = 0;
  for (unsigned char c : line) total += (c & 0xC0) != 0x80;
  if (total <= kConsoleWidth) return line;
  std::string out;
  size_t column = 0;
  size_t start = 0;
  while (start < line.size()) {
    size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    const std::string word = line.substr(start, end - start);
    size_t width = 0;
    for (unsigned char c : word) width += (c & 0xC0) != 0x80;
    if (column > 0 && column + 1 + width > kConsoleWidth) {
      out += '\n';
      column = 0;
    } else if (column > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += width;
    start = end + 1;
  }
  return out;
}

// Each line of `text` wrapped.
std::string WrappedLines(const std::string& text) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (start > 0) out += '\n';
    out += Wrapped(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// A page as the terminal shows it: its text, each line wrapped.
std::string PlainPageText(const std::string& html) {
  const std::string text = HtmlToPlainText(html);
  return text.empty() ? "" : WrappedLines(text) + "\n";
}

std::string ReadPage(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool StdoutIsTerminal() { return isatty(1) != 0; }

ConsoleToolkit::ConsoleToolkit(std::istream& in, std::ostream& out, std::ostream& err, bool terminal)
    : in_(in), out_(out), err_(err), terminal_(terminal) {}

ConsoleToolkit::ConsoleToolkit(std::istream& in, std::ostream& out, bool terminal)
    : ConsoleToolkit(in, out, std::cerr, terminal) {}

std::optional<std::string> ConsoleToolkit::ReadLine() {
  std::string line;
  if (inputEnded_ || !std::getline(in_, line)) {
    inputEnded_ = true;
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  // Piped answers are not echoed by a terminal; echo them so that the log
  // reads like the session did.
  if (!terminal_) Print(line + "\n");
  return line;
}

void ConsoleToolkit::Print(const std::string& text) {
  if (barOpen_) {
    out_ << '\n';
    barOpen_ = false;
  }
  out_ << text;
  out_.flush();
}

namespace {

// "12.3 MB/s": decimal units, one decimal below ten.
std::string FormatRate(double bytesPerSecond) {
  static const char* const kUnits[] = {"B/s", "KB/s", "MB/s", "GB/s"};
  size_t unit = 0;
  while (bytesPerSecond >= 1000 && unit + 1 < std::size(kUnits)) {
    bytesPerSecond /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, bytesPerSecond < 10 && unit > 0 ? "%.1f %s" : "%.0f %s", bytesPerSecond,
                kUnits[unit]);
  return text;
}

// "0:42", "12:05", "1:02:03".
std::string FormatDuration(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

// The bar, the percentage, the rate and time left when known, then the item,
// cut or padded to `width` so that it overwrites the previous line.
std::string ProgressBarLine(int percent, const std::string& rate, const std::string& left, const std::string& item,
                            size_t width) {
  std::string number = std::to_string(percent) + "%";
  number.insert(0, 4 - std::min<size_t>(number.size(), 4), ' ');
  const int filled = percent * kBarWidth / 100;
  std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " + number;
  if (!rate.empty()) line += "  " + rate;
  if (!left.empty()) line += "  " + left + " left";
  if (!item.empty()) line += "  " + item;
  if (line.size() > width) line.resize(width);
  line.append(width - line.size(), ' ');
  return line;
}

}  // namespace

void ConsoleToolkit::DrawProgress(const Control& bar) {
  using Clock = std::chrono::steady_clock;
  const int percent = bar.position();
  const Clock::time_point now = Clock::now();
  // Another bar, or this one going back, starts a new run with its own pace.
  const bool newRun = &bar != bar_ || percent < barPosition_;
  if (newRun) {
    bar_ = &bar;
    barStarted_ = now;
    barBytes_ = BytesSoFar();
    lastPlainTenth_ = -1;
  }
  barPosition_ = percent;
  const std::string item = bar.text().empty() ? status_ : ConsoleText(bar.text());
  if (!terminal_) {
    std::string number = std::to_string(percent) + "%";
    number.insert(0, 4 - std::min<size_t>(number.size(), 4), ' ');
    int tenth = percent / 10;
    if (tenth == lastPlainTenth_) return;
    lastPlainTenth_ = tenth;
    Print(number + "  " + item + "\n");
    return;
  }
  // Redrawn at most ten times a second; the first and the last state always.
  if (!newRun && percent < 100 && now - barDrawn_ < std::chrono::milliseconds(100)) return;
  barDrawn_ = now;
  const double elapsed = std::chrono::duration<double>(now - barStarted_).count();
  std::string rate, left;
  if (elapsed >= 0.2) rate = FormatRate(static_cast<double>(BytesSoFar() - barBytes_) / elapsed);
  if (elapsed >= 0.5 && percent > 0 && percent < 100) left = FormatDuration(elapsed * (100 - percent) / percent);
  const std::string line = ProgressBarLine(percent, rate, left, item, kLineWidth);
  out_ << '\r' << line;
  out_.flush();
  barOpen_ = true;
}

void ConsoleToolkit::ControlChanged(Control& control, Property what) {
  if (!control.IsShowing()) return;
  if (control.kind() == ControlKind::ProgressBar && what == Property::Position) {
    DrawProgress(control);
  } else if (control.kind() == ControlKind::Label && what == Property::Text) {
    status_ = ConsoleText(control.text());
    std::replace(status_.begin(), status_.end(), '\n', ' ');
  }
}

Control* ConsoleToolkit::FindReachable(const std::string& nameOrCaption, Form& waiting) {
  std::vector<Form*> search{&waiting};
  for (Form* form : forms_) {
    if (form != &waiting) search.push_back(form);
  }
  auto reachable = [](const Control* c) { return c && c->IsShowing() && c->enabled(); };
  for (Form* form : search) {
    if (Control* control = form->Find(nameOrCaption); reachable(control)) return control;
  }
  std::string caption = PlainCaption(nameOrCaption);
  for (Form* form : search) {
    for (Control* control : form->controls()) {
      if (control->kind() == ControlKind::Button && reachable(control) && PlainCaption(control->text()) == caption) {
        return control;
      }
    }
  }
  return nullptr;
}

// "y" and "n" (and "yes", "no" in any case) press a showing "Yes" or "No"
// button, as they answer every question of a message box.
Control* ConsoleToolkit::ShortAnswerButton(const std::string& text, Form& waiting) {
  std::optional<Answer> answer = ParseAnswer(text, Buttons::YesNo);
  if (!answer) return nullptr;
  const std::string caption = *answer == Answer::Yes ? "yes" : "no";
  for (Control* control : waiting.controls()) {
    if (control->kind() == ControlKind::Button && control->IsShowing() && control->enabled() &&
        PlainCaption(control->text()) == caption) {
      return control;
    }
  }
  return nullptr;
}

// A screen whose one answer is "OK" (a build's result) asks nothing: it is
// printed and pressed, so a build in a terminal or a Makefile never waits.
Control* ConsoleToolkit::OnlyOkButton(Form& form) {
  Control* ok = nullptr;
  for (Control* control : form.controls()) {
    if (!control->IsShowing() || !control->enabled()) continue;
    switch (control->kind()) {
      case ControlKind::Button:
        if (ok || PlainCaption(control->text()) != "ok") return nullptr;
        ok = control;
        break;
      case ControlKind::Edit:
      case ControlKind::Memo:
      case ControlKind::CheckBox:
      case ControlKind::RadioButton: return nullptr;
      default: break;
    }
  }
  return ok;
}

bool ConsoleToolkit::ApplyLine(const std::string& line, Form& waiting) {
  std::string text = Trim(line);
  if (text.empty()) return false;
  size_t equals = text.find('=');
  if (equals != std::string::npos) {
    Control* control = FindReachable(Trim(text.substr(0, equals)), waiting);
    if (!control) return false;
    std::string value = line.substr(line.find('=') + 1);
    switch (control->kind()) {
      // Each setting is echoed as it was taken, so a typo shows at once.
      case ControlKind::Edit:
      case ControlKind::Memo:
        control->SetText(value);
        Print(control->name() + " = " + control->text() + "\n");
        return true;
      case ControlKind::CheckBox:
      case ControlKind::RadioButton:
        control->SetChecked(IsTrue(value));
        Print(std::string(control->checked() ? "[x] " : "[ ] ") + ConsoleText(control->text()) + " (" +
              control->name() + ")\n");
        return true;
      default:
        return false;
    }
  }
  Control* control = FindReachable(text, waiting);
  if (!control) control = ShortAnswerButton(text, waiting);
  if (!control && IsDigits(text)) {
    const size_t number = std::stoul(text);
    if (number >= 1 && number <= numberedButtons_.size()) {
      Control* listed = numberedButtons_[number - 1];
      if (listed->IsShowing() && listed->enabled()) control = listed;
    }
  }
  if (!control) return false;
  control->Click();
  return true;
}

// Changes to what the window shows as a whole: which panels and buttons are
// showing, which page is loaded. Texts changing on a panel do not count.
std::string ConsoleToolkit::ScreenKey(const Form& form) const {
  std::string key;
  for (const Control* control : form.controls()) {
    if (!control->IsShowing()) continue;
    switch (control->kind()) {
      case ControlKind::Panel: key += "P" + control->name() + ";"; break;
      case ControlKind::HtmlView: key += "H" + control->text() + ";"; break;
      case ControlKind::Button: key += "B" + control->text() + (control->enabled() ? ";" : "-;"); break;
      default: break;
    }
  }
  return key;
}

void ConsoleToolkit::PrintScreenIfChanged(Form& form) {
  const std::string key = ScreenKey(form);
  if (key == lastScreen_) return;
  lastScreen_ = key;
  numberedButtons_.clear();
  std::string screen = "== " + form.caption() + " ==\n";
  for (Control* control : form.controls()) {
    if (!control->IsShowing()) continue;
    const std::string text = ConsoleText(control->text());
    switch (control->kind()) {
      case ControlKind::Label:
      case ControlKind::Memo:
        if (!Trim(text).empty()) screen += WrappedLines(text) + "\n";
        break;
      case ControlKind::CheckBox:
      case ControlKind::RadioButton:
        screen += std::string(control->checked() ? "[x] " : "[ ] ") + text + " (" + control->name() + ")" +
                  (control->enabled() ? "" : " (disabled)") + "\n";
        break;
      case ControlKind::Edit:
        screen += control->name() + " = " + text + (control->enabled() ? "" : " (disabled)") + "\n";
        break;
      case ControlKind::HtmlView:
        if (!control->text().empty()) screen += PlainPageText(ReadPage(control->text()));
        break;
      case ControlKind::Button:
        if (control->enabled() && !control->text().empty()) numberedButtons_.push_back(control);
        break;
      default:
        break;
    }
  }
  std::string buttons;
  for (size_t i = 0; i < numberedButtons_.size(); ++i) {
    std::string caption = numberedButtons_[i]->text();
    std::erase(caption, '&');
    buttons += (buttons.empty() ? "" : "  ") + std::to_string(i + 1) + ") " + caption;
  }
  if (!buttons.empty()) screen += buttons + "\n";
  Print(screen);
}

void ConsoleToolkit::ShowForm(Form& form) {
  if (form.observer() != this) form.SetObserver(this);
  std::erase(forms_, &form);
  forms_.insert(forms_.begin(), &form);
  form.Show();
}

void ConsoleToolkit::RunTimers() {
  while (!timers_.empty()) {
    std::function<void()> tick = std::move(timers_.front());
    timers_.pop_front();
    RunGuarded(*this, errorHandler_, tick);
  }
}

// A modal wait shows what the window asks: its showing labels, then its
// showing buttons as the answers that can be typed.
void ConsoleToolkit::PrintPrompt(Form& form) {
  std::string buttons;
  for (Control* control : form.controls()) {
    if (!control->IsShowing()) continue;
    if (control->kind() == ControlKind::Label && !control->text().empty()) {
      Print(ConsoleText(control->text()) + "\n");
    } else if (control->kind() == ControlKind::Button && control->enabled()) {
      std::string caption = control->text();
      std::erase(caption, '&');
      buttons += (buttons.empty() ? "" : " / ") + caption;
    }
  }
  if (!buttons.empty()) Print("[" + buttons + "] ");
}

void ConsoleToolkit::Loop(Form& form, const std::function<bool()>& done, bool untilClosed) {
  auto finished = [&] { return done() || (untilClosed ? form.closed() : !form.visible()); };
  if (!untilClosed && !finished()) PrintPrompt(form);
  while (!finished()) {
    if (!timers_.empty()) {
      RunTimers();
      continue;
    }
    if (untilClosed) {
      PrintScreenIfChanged(form);
      // Once per screen: an OK that changes nothing leaves it to the user.
      Control* ok = OnlyOkButton(form);
      if (ok && pressedScreen_ != lastScreen_) {
        pressedScreen_ = lastScreen_;
        RunGuarded(*this, errorHandler_, [ok] { ok->Click(); });
        continue;
      }
    }
    std::optional<std::string> line = ReadLine();
    if (!line) {
      // Nobody is left to click: close the window as its close box would.
      RunGuarded(*this, errorHandler_, [&form] { form.Close(); });
      continue;
    }
    RunGuarded(*this, errorHandler_, [&] {
      bool understood = lineHandler_ && lineHandler_(*line, form);
      if (!understood && !ApplyLine(*line, form) && !Trim(*line).empty()) {
        Print("Not understood: " + Trim(*line) + "\n");
        if (!untilClosed) PrintPrompt(form);
      }
    });
  }
}

void ConsoleToolkit::Run(Form& main) {
  lastScreen_.clear();
  numberedButtons_.clear();
  ShowForm(main);
  Loop(main, [] { return false; }, true);
}

void ConsoleToolkit::WaitUntil(Form& form, const std::function<bool()>& done) { Loop(form, done, false); }

// Console input arrives only when the loop asks for it, so the only pending
// events are armed timers.
void ConsoleToolkit::ProcessMessages() { RunTimers(); }

void ConsoleToolkit::StartTimer(int, std::function<void()> tick) { timers_.push_back(std::move(tick)); }

Answer ConsoleToolkit::MessageBox(const std::string& caption, const std::string& text, Buttons buttons, Icon icon) {
  std::string heading = caption.empty() ? title_ : caption;
  std::string prefix = icon == Icon::Error ? "Error: " : icon == Icon::Warning ? "Warning: " : "";
  const std::string message = (heading.empty() ? "" : heading + ": ") + prefix + ConsoleText(text) + "\n";
  if (icon == Icon::Error || icon == Icon::Warning) {
    Print("");  // ends a bar line first
    err_ << message;
    err_.flush();
    // The window is printed again, so the user sees what to correct.
    lastScreen_.clear();
  } else {
    Print(message);
  }
  if (buttons == Buttons::Ok) return Answer::Ok;
  Answer fallback = ClosedAnswer(buttons);
  const char* choices = buttons == Buttons::YesNo ? "(y/N) " : "(y/n/C) ";
  for (;;) {
    Print(choices);
    std::optional<std::string> line = ReadLine();
    if (!line) {
      Print("\n");
      return fallback;
    }
    if (Trim(*line).empty()) return fallback;
    if (std::optional<Answer> answer = ParseAnswer(*line, buttons)) return *answer;
  }
}

std::optional<std::string> ConsoleToolkit::InputBox(const std::string& caption, const std::string& prompt,
                                                    const std::string& answer) {
  std::string heading = caption.empty() ? title_ : caption;
  Print(heading + ": " + prompt + (answer.empty() ? "" : " [" + answer + "]") + " ");
  std::optional<std::string> line = ReadLine();
  if (!line) {
    Print("\n");
    return std::nullopt;
  }
  return line->empty() ? answer : *line;
}

std::string ConsoleToolkit::ChooseDirectory(const std::string& initialFolder, const std::string& prompt) {
  Print(prompt + (initialFolder.empty() ? "" : " [" + initialFolder + "]") + " ");
  std::optional<std::string> line = ReadLine();
  if (!line) {
    Print("\n");
    return "";
  }
  std::string folder = Trim(*line);
  return folder.empty() ? initialFolder : folder;
}

}  // namespace ui
