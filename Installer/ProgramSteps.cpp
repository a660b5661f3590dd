// Programs after installation: those to wait for run at the end of the
// sequence, one after another; the others start when the installer ends.
#include <windows.h>

#include "MainFrm.h"
#include "MySetupUtils.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "SetupRules.h"

namespace {

// A program of the run list by its full path: the product's, else the
// system's, never one found in the setup's folder or on PATH.
WideString RunListProgram(const WideString& fileName) {
  return ProgramPath(fileName, IncludeTrailingBackslash(TSetupfn::AppDir), TQvSysWinfn::SystemFolder(), FileExists);
}

}  // namespace

void TMainForm::RunWaitPrograms() {
  for (int i = 0; i < FScript->RunList()->Count(); ++i) {
    const TSetupRun& item = *FScript->RunList()->Items(i);
    if (!item.Wait) continue;
    const WideString fileName = RunListProgram(TSetupfn::ExpandPath(item.FileName, FAppTitle));
    const WideString params = TSetupfn::ExpandPath(item.Params, FAppTitle);
    const WideString workDir = TSetupfn::ExpandPath(item.WorkDir, FAppTitle);
    SetDetail(Format(ResRunningAppFmt(), {fileName}));
    ProcessMessages();
    const WideString commandLine = WaitedCommandLine(fileName, params);
    TQvRunLog::Line(u"Program run: %s", {commandLine});
    const uint32_t code = TQvWinfn::RunAndWait(commandLine, workDir);
    TQvRunLog::Line(u"Program ended with exit code %u: %s", {code, fileName});
  }
}

void TMainForm::RunNoWaitPrograms() {
  for (int i = 0; i < FScript->RunList()->Count(); ++i) {
    const TSetupRun& item = *FScript->RunList()->Items(i);
    if (item.Wait) continue;
    const WideString fileName = RunListProgram(TSetupfn::ExpandPath(item.FileName, FAppTitle));
    const WideString params = TSetupfn::ExpandPath(item.Params, FAppTitle);
    const WideString workDir = TSetupfn::ExpandPath(item.WorkDir, FAppTitle);
    TQvRunLog::Line(u"Program started: \"%s\" %s", {fileName, params});
    TQvWinfn::ShellExec(nullptr, WideString(), fileName, params, workDir, SW_SHOW, true);
  }
}
