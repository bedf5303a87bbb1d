/* The control of the planted-DLL test: a program linked the ordinary way,
   importing user32 and version before main(). Beside the planted copies it
   must load them, or the test could not tell a protected program from a
   probe that never sees a planted DLL at all. The calls are never made (the
   planted copies have no such functions); they only keep the imports. */
#include <windows.h>

int main(int argc, char** argv) {
  (void)argv;
  if (argc > 1000) return (int)GetFileVersionInfoSizeW(L"", NULL) + GetSystemMetrics(SM_CXSCREEN);
  return 0;
}
