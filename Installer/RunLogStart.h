// The start of a run's log, the same for the installer and the
// uninstaller: the file that /Log= names, then its head.
#pragma once

#include "SetupSwitches.h"

// The log's full path, taken while the working folder is still the one
// the program was started in (both programs then move to the system
// folder): "/Log=setup.log" means a file where the administrator stood.
// Empty without /Log=.
WideString RunLogPath(const TCommandSwitches& switches);

// With /Log=, opens the log at path (RunLogPath's) and writes its head:
// the program and its version, the command line and the system. A log
// that cannot be made is reported, on standard error in a silent run and
// in a box otherwise, and the run goes on without one.
void StartRunLog(const TCommandSwitches& switches, const WideString& path, const WideString& program);

// The last line: the exit code, with what it means.
void EndRunLog(unsigned code, const WideString& meaning);
