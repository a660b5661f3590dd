// The uninstaller's entry: the copy that deletes the original does only
// that; otherwise the units are set up and the controller runs the whole
// removal, with its window or, in /SILENT, without any.
#include <windows.h>
#include <objbase.h>

#include <vector>

#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "QvWindows.h"
#include "RunLogStart.h"
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
  // One mode, /SILENT, and beside it /Log=, as for the installer.
  std::vector<WideString> args;
  for (int i = 1; i <= ParamCount(); ++i) args.push_back(ParamStr(i));
  const TCommandSwitches switches = ParseCommandSwitches(args, {u"/SILENT"}, false);
  const bool silent = switches.Mode == u"/SILENT";
  TQvVclfn::SetConsoleReports(silent);
  StartRunLog(switches, RunLogPath(switches), u"Uninstall.exe");

  TUninstallExitCode code = uecRemovalFailed;
  try {
    TUninstaller uninstaller(silent);
    code = uninstaller.Run();
  } catch (const Exception& e) {
    TQvVclfn::ShowInfo(nullptr, e.Message());
  } catch (const std::exception& e) {
    TQvVclfn::ShowInfo(nullptr, Utf8ToWide(e.what()));
  }
  EndRunLog(code, UninstallExitMeaning(code));
  CoUninitialize();
  return static_cast<int>(code);
}
