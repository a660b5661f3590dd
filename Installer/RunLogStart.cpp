#include "RunLogStart.h"

#include <windows.h>

#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "TkApplication.h"
#include "setupkit_version.h"


WideString RunLogPath(const TCommandSwitches& switches) {
  return switches.LogGiven && !switches.Log.empty() ? ExpandFileName(switches.Log) : WideString();
}

void StartRunLog(const TCommandSwitches& switches, const WideString& path, const WideString& program) {
  if (!switches.LogGiven) return;
  WideString why = u"no file is named";
  if (path.empty() || !TQvRunLog::Open(path, why)) {
    // Said in English: no language has been chosen yet, and the log is
    // the administrator's. The box says whose it is, as the program's
    // other early reports do.
    if (Application().Title().empty()) Application().SetTitle(program.substr(0, program.rfind(u'.')));
    TQvVclfn::ShowInfo(nullptr, Format(u"The log file \"%s\" cannot be written: %s. The run goes on without a log.",
                                       {switches.Log, why}));
    return;
  }
  TQvRunLog::Line(u"%s %s", {program, Utf8ToWide(SETUPKIT_VERSION)});
  TQvRunLog::Line(u"Command line: %s", {WideString(reinterpret_cast<const char16_t*>(::GetCommandLineW()))});
  TQvRunLog::Line(u"System: %s", {TQvWinfn::SystemDescription()});
}

void EndRunLog(unsigned code, const WideString& meaning) {
  TQvRunLog::Line(u"Exit code %u: %s", {code, meaning});
}
