// Helpers that drive a form's controls through their names: the wizard
// fills labels named after their panel, switches groups of controls on and
// off by listing their names, and lays out a row of three generic buttons.
//
// Components are looked up by name without ASCII letter case. Missing
// components are skipped silently; nothing here reports an error.
#pragma once

#include <string>
#include <string_view>

#include "ui/form.h"

namespace ui {

// The component of `form` named `name` (letter case ignored; the window
// itself is not a component), or nullptr, also when `form` is null.
Control* FindNamedComponent(const Form* form, std::string_view name);

// Gives `control` a value: a label's caption becomes `value`; controls of
// any other kind, and a null control, are left alone.
void SetControlValue(Control* control, const std::string& value);

// SetControlValue on the component named `name`; nothing when it is absent.
void SetNamedControlValue(Form* form, std::string_view name, const std::string& value);

// Enables or disables each component named in `names`. The list is split
// on its own separator when it is in the "_list" form ("_list;a;b"),
// otherwise on any character of `defaultSeparators`.
void SetControlsEnabled(Form* form, std::string_view names, bool enabled,
                        std::string_view defaultSeparators = "|,");

// Shows or hides each component named in `names` (list as above).
void SetControlsVisible(Form* form, std::string_view names, bool visible,
                        std::string_view defaultSeparators = "|,");

// Lays out a row of three equally wide buttons (names separated by "|" or
// ",") with the given captions (same separators), centred in the first
// button's parent with 8-pixel gaps. One caption: only the second button,
// centred. Two: the second and third as a centred pair. Three or more: all
// three (later captions ignored). Buttons left without a caption are hidden
// and their captions cleared; no caption at all hides the three. Does
// nothing unless all three names are buttons of the form.
void ArrangeButtonBar(Form* form, std::string_view buttonNames, std::string_view captions);

}  // namespace ui
