// The Windows API as the toolkit's files include it. <windows.h> defines
// MessageBox as a macro, which would rename Toolkit::MessageBox in every file
// that sees both; the macro is removed here and MessageBoxA is called by name.
#pragma once

#include <windows.h>

#undef MessageBox
