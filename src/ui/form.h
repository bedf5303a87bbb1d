// The form model: windows and their controls as plain data with events.
//
// A Form is built once from a declarative table of ControlDef entries (its
// first entry is the window itself) and keeps every control for its whole
// life. Code above the toolkit never touches a widget: it finds controls by
// name, reads and sets their properties and installs click/change handlers.
// A toolkit renders the model, mirrors later changes through the form's
// FormObserver and feeds the user's actions back by calling Control::Click()
// and Control::SetText().
//
// Programmatic changes raise the same events a native control would:
//   - ticking a radio button raises its click and unticks the other radio
//     buttons with the same parent (one group per box);
//   - changing a check box's state raises its click;
//   - changing the text of an edit box or memo raises its change.
// Unticking, and assigning a value equal to the current one, raise nothing.
//
// Control names are matched exactly, with letter case: the wizard's naming
// scheme ("B" + panel + action word) is a fixed set of identifiers, and
// prefix matching on it is case-sensitive too.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

enum class ControlKind {
  Window,       // the form itself; caption = window title; bounds = client size
  Panel,        // a box holding other controls; caption = group title (may be empty)
  Label,        // static text; may be clicked (e.g. a web-address label)
  Button,
  CheckBox,
  RadioButton,  // one group per parent box
  Edit,         // single-line edit box; text is its content
  Memo,         // multi-line text; lines separated by CR LF
  ProgressBar,  // position 0..100
  Image,        // caption names the picture to show
  HtmlView,     // embedded browser; text is the address of the loaded page
  Timer,        // non-visual; enabled arms it, the click handler is its tick
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

enum class Align { Left, Center, Right };

// The frame drawn around a control (mostly panels and memos).
enum class Border { None, Single, Lowered, Raised };

// Font hints; a native toolkit maps them to real faces (the wizard's headings
// and large buttons use a display face, everything else the dialog font).
enum class Font { Normal, Bold, Heading, LargeHeading };

struct Style {
  Font font = Font::Normal;
  Align align = Align::Left;
  bool word_wrap = false;
  Border border = Border::None;
  bool operator==(const Style&) const = default;
};

// One entry of a form's declarative table. Use designated initialisers and
// leave out what keeps its default, e.g.
//   {.kind = ControlKind::Button, .name = "BIntroExit", .parent = "PnlIntro",
//    .bounds = {300, 330, 100, 30}, .caption = "Exit"}
struct ControlDef {
  ControlKind kind = ControlKind::Label;
  std::string_view name{};
  std::string_view parent{};   // empty: the window
  Rect bounds{};               // relative to the parent's client area
  std::string_view caption{};  // caption, or text of an edit box / memo
  Style style{};
  bool visible = true;
  bool enabled = true;       // for a timer: armed at design time
  bool checked = false;
  int interval_ms = 1000;    // timers only
};

// A table entry with the fields window tables set, so that none is left to
// a default by accident.
inline ControlDef Def(ControlKind kind, std::string_view name, std::string_view parent, Rect bounds,
                      std::string_view caption, Style style = {}, bool visible = true) {
  ControlDef def;
  def.kind = kind;
  def.name = name;
  def.parent = parent;
  def.bounds = bounds;
  def.caption = caption;
  def.style = style;
  def.visible = visible;
  return def;
}

// What changed on a control; passed to the FormObserver.
enum class Property { Text, Checked, Enabled, Visible, Bounds, Position, Style };

class Control;
class Form;

// Receives every change to a form's model after it happened (the toolkit
// uses it to mirror the change on screen). Raising events is the model's
// job, not the observer's.
class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void ControlChanged(Control& control, Property what) = 0;
};

using EventHandler = std::function<void(Control& sender)>;

class Control {
 public:
  Control(Form& form, const ControlDef& def, Control* parent);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  // The parent control; nullptr only for the window.
  Control* parent() const { return parent_; }
  Form& form() const { return form_; }

  // Caption of a window, panel, label, button, check box or radio button;
  // text of an edit box or memo; address of an HTML view; picture of an image.
  const std::string& text() const { return text_; }
  // Sets the text; an edit box or memo whose text changes raises its change.
  void SetText(const std::string& text);

  bool checked() const { return checked_; }
  // Ticks or unticks a check box or radio button; other kinds ignore it.
  // A change raises the click; ticking a radio button first unticks the
  // radio buttons of the same parent (silently).
  void SetChecked(bool checked);

  bool enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The control's own visibility flag. The window's flag is the form's
  // shown state: change it through Form::Show/Hide/Close.
  bool visible() const { return visible_; }
  void SetVisible(bool visible);
  // True when this control and every ancestor up to the window are visible.
  bool IsShowing() const;

  const Rect& bounds() const { return bounds_; }
  void SetBounds(const Rect& bounds);

  const Style& style() const { return style_; }
  void SetStyle(const Style& style);

  // Progress bar position, kept within 0..100.
  int position() const { return position_; }
  void SetPosition(int percent);

  // Timer interval in milliseconds (design value; the timer is one-shot in
  // use because its tick handler disables it).
  int interval_ms() const { return interval_ms_; }

  // Handlers replace any earlier one; an empty function removes it.
  void SetOnClick(EventHandler handler) { on_click_ = std::move(handler); }
  void SetOnChange(EventHandler handler) { on_change_ = std::move(handler); }
  bool has_click_handler() const { return static_cast<bool>(on_click_); }
  bool has_change_handler() const { return static_cast<bool>(on_change_); }

  // What a user's click does: a check box toggles, a radio button is ticked
  // (raising its click even when it was ticked already, as a native click
  // does), any other control raises its click. Toolkits call it only for an
  // enabled control that is showing.
  void Click();
  // Raise the events alone, without changing any state.
  void RaiseClick();
  void RaiseChange();

 private:
  void Notify(Property what);
  void UntickSiblingRadios();
  void SetVisibleFlag(bool visible);  // used by Form for the window
  friend class Form;

  Form& form_;
  Control* parent_;
  ControlKind kind_;
  std::string name_;
  std::string text_;
  Style style_;
  Rect bounds_;
  bool visible_;
  bool enabled_;
  bool checked_;
  int position_ = 0;
  int interval_ms_;
  EventHandler on_click_;
  EventHandler on_change_;
};

using FormHandler = std::function<void(Form& form)>;

class Form {
 public:
  // Builds the form from its table. The first entry must be the window; each
  // other entry's parent must name an earlier entry (empty = the window);
  // names must be unique and not empty. Throws std::invalid_argument
  // otherwise. The window starts hidden, whatever its entry says.
  explicit Form(std::span<const ControlDef> table);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // The window's name (e.g. "DInstallMain").
  const std::string& name() const { return window_->name(); }
  Control& window() { return *window_; }
  const Control& window() const { return *window_; }
  // Window title.
  const std::string& caption() const { return window_->text(); }
  void SetCaption(const std::string& caption) { window_->SetText(caption); }

  // The control with exactly this name (the window included), or nullptr.
  Control* Find(std::string_view name) const;
  // Same, but throws std::out_of_range naming form and control when absent.
  Control& Get(std::string_view name) const;
  // Every control except the window, in table order (component order).
  const std::vector<Control*>& controls() const { return controls_; }
  // The direct children of `parent`, in table order.
  std::vector<Control*> ChildrenOf(const Control& parent) const;

  bool visible() const { return window_->visible(); }
  // True after Close() until the next Show().
  bool closed() const { return closed_; }

  // Makes the window visible and raises the show handler (each time it goes
  // from hidden to visible). Clears the closed state.
  void Show();
  // Hides the window; raises nothing.
  void Hide();
  // Raises the close handler, then hides the window and marks it closed.
  // Closing the main form is what ends the toolkit's message loop. Closing
  // a form that is already closed does nothing.
  void Close();

  void SetOnShow(FormHandler handler) { on_show_ = std::move(handler); }
  void SetOnClose(FormHandler handler) { on_close_ = std::move(handler); }

  // One observer per form (the toolkit that shows it); nullptr detaches.
  void SetObserver(FormObserver* observer) { observer_ = observer; }
  FormObserver* observer() const { return observer_; }

 private:
  friend class Control;
  std::vector<std::unique_ptr<Control>> owned_;
  std::vector<Control*> controls_;
  std::map<std::string, Control*, std::less<>> by_name_;
  Control* window_ = nullptr;
  FormObserver* observer_ = nullptr;
  FormHandler on_show_;
  FormHandler on_close_;
  bool closed_ = false;
};

}  // namespace ui
