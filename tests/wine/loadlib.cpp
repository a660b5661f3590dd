// loadlib.exe NAME...: loads each DLL by its bare name the way a program
// without any protection does (LoadLibraryW, the default search: the
// program's folder first) and prints "NAME loaded" or "NAME not loaded".
// The control of the planted-DLL test: it shows that a planted copy beside
// a program is found when nothing stops it.
#include "WineTool.h"

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    const HMODULE module = ::LoadLibraryW(argv[i]);
    wt::OutLine(wt::FromW(argv[i]) + (module ? u" loaded" : u" not loaded"));
    if (module) ::FreeLibrary(module);
  }
  return 0;
}
