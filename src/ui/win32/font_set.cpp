#include "ui/win32/font_set.h"

#include <cwchar>
#include <initializer_list>

namespace ui {

namespace {

int CALLBACK NoteFaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one match is enough
}

bool FaceInstalled(const wchar_t* face) {
  LOGFONTW query{};
  query.lfCharSet = DEFAULT_CHARSET;
  std::wcsncpy(query.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &query, NoteFaceFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// The first installed face of `faces`; when none is listed as installed,
// the first one, which the font mapper then replaces by its closest match.
const wchar_t* FirstInstalled(std::initializer_list<const wchar_t*> faces) {
  for (const wchar_t* face : faces) {
    if (FaceInstalled(face)) return face;
  }
  return *faces.begin();
}

HFONT MakeFont(const wchar_t* face, int points, bool bold, int pixelsPerInch) {
  if (face[0] == L'\0') return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW font{};
  font.lfHeight = -MulDiv(points, pixelsPerInch, 72);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = DEFAULT_QUALITY;
  std::wcsncpy(font.lfFaceName, face, LF_FACESIZE - 1);
  HFONT created = CreateFontIndirectW(&font);
  return created ? created : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void Release(HFONT font) {
  if (font != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font);
}

}  // namespace

FontSet::FontSet(int pixelsPerInch) {
  const wchar_t* dialogFace = FirstInstalled({L"MS Sans Serif", L"Microsoft Sans Serif", L"Tahoma", L"Arial"});
  const wchar_t* displayFace = FirstInstalled({L"Comic Sans MS", L"Trebuchet MS", L"Tahoma", L"Arial"});
  normal_ = MakeFont(dialogFace, 8, false, pixelsPerInch);
  bold_ = MakeFont(dialogFace, 8, true, pixelsPerInch);
  heading_ = MakeFont(displayFace, 12, true, pixelsPerInch);
  largeHeading_ = MakeFont(displayFace, 18, true, pixelsPerInch);
}

FontSet::~FontSet() {
  for (HFONT font : {normal_, bold_, heading_, largeHeading_}) Release(font);
}

HFONT FontSet::Get(Font font) const {
  switch (font) {
    case Font::Bold: return bold_;
    case Font::Heading: return heading_;
    case Font::LargeHeading: return largeHeading_;
    case Font::Normal: break;
  }
  return normal_;
}

}  // namespace ui
