// The fonts of the forms, created once per toolkit: the dialog font ("MS Sans
// Serif" 8 pt, also in bold) and the display face of headings and large
// buttons ("Comic Sans MS"). A face the system lacks falls back to the next
// of a short list and finally to the system's GUI font, so that text always
// shows, if in another face.
#pragma once

#include "ui/form.h"
#include "ui/win32/win32_api.h"

namespace ui {

class FontSet {
 public:
  // `pixelsPerInch` is the screen's vertical resolution.
  explicit FontSet(int pixelsPerInch);
  ~FontSet();
  FontSet(const FontSet&) = delete;
  FontSet& operator=(const FontSet&) = delete;

  HFONT Get(Font font) const;

 private:
  HFONT normal_;
  HFONT bold_;
  HFONT heading_;
  HFONT largeHeading_;
};

}  // namespace ui
