// The installer's entry: the units are set up, the main window is made
// (which does the whole start-up and, in /Silent and /Auto, the whole
// installation), then the message loop runs until the window closes.
#include <windows.h>
#include <objbase.h>

#include "ExitCodes.h"
#include "MainFrm.h"
#include "RunLogStart.h"
#include "PhaseTimes.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvVclUtils.h"
#include "QvWindows.h"
#include "TkApplication.h"
#include "TkGdi.h"

namespace {

// Setup runs elevated from wherever it was saved (Downloads, %TEMP%), where
// anybody may have left a DLL by a system DLL's name. Before any other code
// of the program runs, constructors of its units included, libraries are
// restricted to System32; the import table names only DLLs that Windows
// always takes from there, the others are delay-loaded.
[[gnu::constructor(101)]] void RestrictLibrarySearchFirst() {
  TQvSysWinfn::RestrictLibrarySearch();
  TPhaseTimes::Mark("system libraries");
}


// An error that escapes start-up: the user is told, in a box or on
// standard error in /Silent, and setup ends as one that could not start.
void ReportStartFailure(const WideString& message) {
  if (TQvVclfn::ConsoleReports()) {
    // A line on standard error has no caption to say whose it is.
    TQvSysWinfn::WriteStdErr(u"Setup could not start: " + message);
  } else {
    const WideString caption = Application().Title().empty() ? WideString(u"Setup") : Application().Title();
    TQvWinfn::MessageBox(nullptr, message, MB_OK | MB_ICONERROR, caption);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  TPhaseTimes::Mark("entry");
  const WideString logPath = RunLogPath(TMainForm::Switches());
  // The folder setup was started in (Downloads, a share) is nothing that
  // setup or the programs it starts should look in: the system folder is
  // the working folder, one only administrators can write.
  SetCurrentDirectoryW(W(TQvSysWinfn::SystemFolder()));
  CoInitialize(nullptr);
  // The main form is the controller. In /Silent it is made without any
  // window: nothing is shown, the common controls and GDI+ are never
  // loaded, and a run on a machine with no desktop at all (a service, Wine
  // without a display) installs like any other. Its reports go to
  // standard error from the first step.
  TQvVclfn::SetConsoleReports(TMainForm::SilentSwitchGiven());
  tk::SetHeadless(TMainForm::SilentSwitchGiven());
  Application().Initialize();
  StartRunLog(TMainForm::Switches(), logPath, u"Setup.exe");
  // Errors that escape an event handler are reported and the loop goes on.
  Application().OnException = [](const Exception& error) {
    if (MainForm() != nullptr) MainForm()->ReportError(error.Message());
    else ReportStartFailure(error.Message());
  };

  TMainForm* form = nullptr;
  try {
    form = new TMainForm();
  } catch (const Exception& e) {
    ReportStartFailure(e.Message());
    EndRunLog(secCannotStart, SetupExitMeaning(secCannotStart));
    ExitProcess(secCannotStart);
  } catch (const std::exception& e) {
    ReportStartFailure(Utf8ToWide(e.what()));
    EndRunLog(secCannotStart, SetupExitMeaning(secCannotStart));
    ExitProcess(secCannotStart);
  }
  Application().Run();
  const TSetupExitCode code = form->ExitCodeOnClose();
  EndRunLog(code, SetupExitMeaning(code));
  delete form;
  CoUninitialize();
  return static_cast<int>(code);
}
