// The Windows API as the toolkit's files include it. <windows.h> defines
// MessageBox as a macro, which would rename Toolkit::MessageBox in every file
// that sees both; the macro is removed here and MessageBoxW is called by name.
// The toolkit calls only the W (UTF-16) forms of the system's calls.
#pragma once

#include <windows.h>

#undef MessageBox

namespace ui {

// One of the system's cursors (IDC_ARROW, IDC_HAND), by the wide call: the
// IDC_ names are numbers that the header spells as narrow resource names.
inline HCURSOR SystemCursor(LPCSTR id) { return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(id)); }

}  // namespace ui
