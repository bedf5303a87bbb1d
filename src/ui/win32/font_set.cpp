#include "ui/win32/font_set.h"

#include <cstring>
#include <initializer_list>

namespace ui {

namespace {

int CALLBACK NoteFaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one match is enough
}

bool FaceInstalled(const char* face) {
  LOGFONTA query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::strncpy(query.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExA(screen, &query, NoteFaceFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// The first installed face of `faces`; when none is listed as installed,
// the first one, which the font mapper then replaces by its closest match.
const char* FirstInstalled(std::initializer_list<const char*> faces) {
  for (const char* face : faces) {
    if (FaceInstalled(face)) return face;
  }
  return *faces.begin();
}

HFONT MakeFont(const char* face, int points, bool bold, int pixels_per_inch) {
  if (face[0] == '\0') return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTA font{};
  font.lfHeight = -MulDiv(points, pixels_per_inch, 72);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  std::strncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  HFONT created = CreateFontIndirectA(&font);
  return created ? created : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void Release(HFONT font) {
  if (font != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font);
}

}  // namespace

FontSet::FontSet(int pixels_per_inch) {
  const char* dialog_face = FirstInstalled({"MS Sans Serif", "Microsoft Sans Serif", "Tahoma", "Arial"});
  const char* display_face = FirstInstalled({"Comic Sans MS", "Trebuchet MS", "Tahoma", "Arial"});
  normal_ = MakeFont(dialog_face, 8, false, pixels_per_inch);
  bold_ = MakeFont(dialog_face, 8, true, pixels_per_inch);
  heading_ = MakeFont(display_face, 12, true, pixels_per_inch);
  large_heading_ = MakeFont(display_face, 18, true, pixels_per_inch);
}

FontSet::~FontSet() {
  for (HFONT font : {normal_, bold_, heading_, large_heading_}) Release(font);
}

HFONT FontSet::Get(Font font) const {
  switch (font) {
    case Font::Bold: return bold_;
    case Font::Heading: return heading_;
    case Font::LargeHeading: return large_heading_;
    case Font::Normal: break;
  }
  return normal_;
}

}  // namespace ui
