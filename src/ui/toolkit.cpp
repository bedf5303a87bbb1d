#include "ui/toolkit.h"

namespace ui {

void ShowMessage(Toolkit& toolkit, const std::string& text) {
  toolkit.MessageBox("", text, Buttons::Ok, Icon::Information);
}

bool AskYesNo(Toolkit& toolkit, const std::string& caption, const std::string& text) {
  return toolkit.MessageBox(caption, text, Buttons::YesNo, Icon::Question) == Answer::Yes;
}

std::string ExceptionText(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

void RunGuarded(Toolkit& toolkit, const ErrorHandler& handler, const std::function<void()>& event) {
  EscapedError escaped;
  try {
    event();
    return;
  } catch (...) {
    escaped.failure = sys::FailureOf(std::current_exception());
    escaped.text = escaped.failure.message;
  }
  // Reported outside the catch block, so that a handler which itself runs
  // the loop (a modal box) does not nest inside the exception's lifetime.
  if (handler) {
    handler(escaped);
  } else {
    toolkit.MessageBox("", escaped.text, Buttons::Ok, Icon::Error);
  }
}

}  // namespace ui
