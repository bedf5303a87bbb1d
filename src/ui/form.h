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
  bool wordWrap = false;
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
  int intervalMs = 1000;    // timers only
  // Keyboard roles of a button: Enter presses the default button of what is
  // showing, Escape its cancel button (see Form::EnterTarget/EscapeTarget).
  bool isDefault = false;
  bool isCancel = false;
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
  int intervalMs() const { return intervalMs_; }

  // Keyboard roles given at design time (buttons only).
  bool isDefault() const { return isDefault_; }
  bool isCancel() const { return isCancel_; }
  // True for a control the user can reach and use now: enabled and showing.
  bool usable() const { return enabled_ && IsShowing(); }

  // Handlers replace any earlier one; an empty function removes it.
  void SetOnClick(EventHandler handler) { onClick_ = std::move(handler); }
  void SetOnChange(EventHandler handler) { onChange_ = std::move(handler); }
  bool hasClickHandler() const { return static_cast<bool>(onClick_); }
  bool hasChangeHandler() const { return static_cast<bool>(onChange_); }

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
  int intervalMs_;
  bool isDefault_;
  bool isCancel_;
  EventHandler onClick_;
  EventHandler onChange_;
};

using FormHandler = std::function<void(Form& form)>;

// How a toolkit frames a form's window.
struct WindowFrame {
  bool closeBox = true;      // a title-bar close box (with its system menu)
  bool staysOnTop = false;  // above the windows of other programs
  // When above 0: the window's outer height (title bar and border included),
  // in 96-dpi pixels; the client area gets what is left of it.
  int outerHeight = 0;
  bool operator==(const WindowFrame&) const = default;
};

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

  const WindowFrame& frame() const { return frame_; }
  // A change is reported as the window's Property::Bounds.
  void SetFrame(const WindowFrame& frame);

  // The control with exactly this name (the window included), or nullptr.
  Control* Find(std::string_view name) const;
  // Same, but throws std::out_of_range naming form and control when absent.
  Control& Get(std::string_view name) const;
  // Every control except the window, in table order (component order).
  const std::vector<Control*>& controls() const { return controls_; }
  // The direct children of `parent`, in table order.
  std::vector<Control*> ChildrenOf(const Control& parent) const;

  // ---- Keyboard ---------------------------------------------------------------
  // What keys mean is decided here, so that every toolkit agrees; a toolkit
  // only reports the key and the focused control.
  //
  // The tab stops in table order: usable buttons, check boxes, edit boxes,
  // memos with a border, HTML views, and of each group of radio buttons (the
  // radio buttons of one parent) only the ticked one, or the first usable
  // one when none is ticked. Hidden and disabled controls are never stops.
  std::vector<Control*> TabStops() const;
  // The stop after (or before) `from` in tab order, wrapping round; the
  // first (last) stop when `from` is not a stop. nullptr when there is none.
  Control* NextTabStop(const Control* from, bool backward) const;
  // The next usable radio button of the group of `radio` (arrow keys),
  // wrapping round; `radio` itself when it is alone.
  Control* NextInGroup(const Control& radio, bool backward) const;
  // The usable default button, or nullptr.
  Control* DefaultButton() const;
  // Where the focus goes when a panel appears: the default button, else the
  // first tab stop.
  Control* InitialFocus() const;
  // The button Enter presses with `focused` holding the focus: a focused
  // push button presses itself; a memo with a border keeps Enter as a line
  // break (nullptr); anything else (a check box, an edit box, text being
  // read) presses the default button. nullptr when there is nothing to press.
  Control* EnterTarget(const Control* focused) const;
  // The usable cancel button (Exit, Cancel, No, Abort), or nullptr: Escape
  // presses it and does nothing else, wherever the focus is.
  Control* EscapeTarget() const;
  // The access key (Alt+letter) of a button, check box or radio button, as
  // an index into its caption, or npos. Each usable control of one panel
  // (the window's direct child holding it) gets the first letter of a word
  // of its caption that no earlier control of that panel has taken, else
  // its first letter not yet taken; letter case does not count.
  size_t AccessKeyIndex(const Control& control) const;
  // The usable control whose access key is `letter` (any case), or nullptr.
  Control* AccessKeyTarget(char letter) const;

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

  void SetOnShow(FormHandler handler) { onShow_ = std::move(handler); }
  void SetOnClose(FormHandler handler) { onClose_ = std::move(handler); }

  // One observer per form (the toolkit that shows it); nullptr detaches.
  void SetObserver(FormObserver* observer) { observer_ = observer; }
  FormObserver* observer() const { return observer_; }

 private:
  friend class Control;
  std::vector<std::unique_ptr<Control>> owned_;
  std::vector<Control*> controls_;
  std::map<std::string, Control*, std::less<>> byName_;
  Control* window_ = nullptr;
  FormObserver* observer_ = nullptr;
  FormHandler onShow_;
  FormHandler onClose_;
  bool closed_ = false;
  WindowFrame frame_;
};

}  // namespace ui
