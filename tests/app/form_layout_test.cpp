// The question window's layout: every control must lie inside the client
// area the window is shown at, or a user cannot see or reach it.
#include <gtest/gtest.h>

#include "archive/indexed_file_form.h"
#include "support/scripted_toolkit.h"
#include "ui/form.h"

namespace {

// The control's bounds in the window's client coordinates.
ui::Rect InWindow(const ui::Control& control) {
  ui::Rect area = control.bounds();
  for (const ui::Control* parent = control.parent(); parent && parent->parent(); parent = parent->parent()) {
    area.left += parent->bounds().left;
    area.top += parent->bounds().top;
  }
  return area;
}

// The controls that lie (partly) outside the shown window, with their bounds.
std::vector<std::string> OutsideTheWindow(const ui::Form& form, const ui::Rect& window) {
  std::vector<std::string> outside;
  for (const ui::Control* control : form.controls()) {
    if (control->kind() == ui::ControlKind::Timer) continue;
    const ui::Rect area = InWindow(*control);
    if (area.left < 0 || area.top < 0 || area.left + area.width > window.width ||
        area.top + area.height > window.height) {
      outside.push_back(control->name() + " at " + std::to_string(area.left) + "," + std::to_string(area.top) +
                        " size " + std::to_string(area.width) + "x" + std::to_string(area.height));
    }
  }
  return outside;
}

// The question window is shown 116 pixels tall overall: its answers must
// stay in the client area that remains under the tallest title bar and
// border of current systems (37 pixels).
TEST(FormLayout, QuestionWindowShowsItsAnswersAtItsShownHeight) {
  testsupport::ScriptedToolkit toolkit;
  archive::TDIndexedFile window(toolkit);
  window.form().Show();
  const ui::WindowFrame& frame = window.form().frame();
  EXPECT_EQ(frame.outerHeight, 116);
  EXPECT_FALSE(frame.closeBox);
  EXPECT_TRUE(frame.staysOnTop);
  ui::Rect client = window.form().window().bounds();
  client.height = frame.outerHeight - 37;
  for (const char* panel : {"PnlProgress", "PnlQuery", "PnlBtns5", "PnlBtns3"}) {
    window.form().Get(panel).SetVisible(true);
  }
  std::vector<std::string> outside;
  for (const std::string& name : OutsideTheWindow(window.form(), client)) {
    // The two full-window panels keep their designed height below the edge.
    if (name.rfind("PnlProgress ", 0) != 0 && name.rfind("PnlQuery ", 0) != 0) outside.push_back(name);
  }
  EXPECT_EQ(outside, std::vector<std::string>());
}

}  // namespace
