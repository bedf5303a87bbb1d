// The design of the main window TDInstallMain: a fixed 550 x 386 wizard of
// full-window panels, one showing at a time, each holding the controls that
// the installer engine finds by name.
//
// Naming: an engine-driven control is its kind letter ("B" button, "L" label,
// "E" edit box, "C" check box, "R" radio button, "M" memo, "X" HTML view),
// the panel's name and its action word or role (BOptionsNext); a panel is
// "Pnl" + name. Controls the engine does not drive have free names chosen so
// that they never match that scheme (Txt..., Box..., Img...). A box inside a
// panel is named "Box" + the panel's name, so that the panel word of a
// control inside it (its parent's name from the fourth character) is still
// the panel's name. Every panel starts hidden.
#pragma once

#include <span>

#include "ui/form.h"

namespace app {

inline constexpr int kMainClientWidth = 550;
inline constexpr int kMainClientHeight = 386;

// The address the web-address label of the Uninstall panel opens.
inline constexpr const char* kMakerWebAddress = "https://www.brevion.example/";

// The main window's table: the window "DInstallMain", its panels and their
// controls in component order, and the one-shot timer CtrlAppTimer
// (disabled, 1000 ms).
std::span<const ui::ControlDef> MainWindowDefinition();

}  // namespace app
