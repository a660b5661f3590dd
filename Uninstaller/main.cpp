// The uninstaller's entry: the copy that deletes the original does only
// that; otherwise the units are set up and the controller runs the whole
// removal, with its window or, in /SILENT, without any.
#include <windows.h>
#include <objbase.h>

#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "QvWindows.h"
#include "SelfDeletion.h"
#include "TkApplication.h"
#include "Uninstaller.h"

namespace {

// The uninstaller runs elevated, its cleanup copy from the temporary
// folder, where anybody may have left a DLL by a system DLL's name. Before
// any other code of the program runs, constructors of its units included,
// libraries are restricted to System32; the import table names only DLLs
// that Windows always takes from there, the others are delay-loaded.
[[gnu::constructor(101)]] void RestrictLibrarySearchFirst() { TQvSysWinfn::RestrictLibrarySearch(); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if (IsCleanupCopy()) return RunCleanupCopy();

  CoInitialize(nullptr);
  Application().Initialize();
  // Exactly one argument selects the mode, as for the installer.
  const bool silent = ParamCount() == 1 && SameText(ParamStr(1), u"/SILENT");
  TQvVclfn::SetConsoleReports(silent);

  TUninstallExitCode code = uecRemovalFailed;
  try {
    TUninstaller uninstaller(silent);
    code = uninstaller.Run();
  } catch (const Exception& e) {
    TQvVclfn::ShowInfo(nullptr, e.Message());
  } catch (const std::exception& e) {
    TQvVclfn::ShowInfo(nullptr, Utf8ToWide(e.what()));
  }
  CoUninitialize();
  return static_cast<int>(code);
}
