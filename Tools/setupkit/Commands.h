// The setupkit commands. Each takes the arguments after its own name and
// returns the process exit code; errors are reported on standard error by
// the dispatcher (main.cpp), which catches every Exception.
#pragma once

#include <string>
#include <vector>

using CommandArgs = std::vector<std::string>;

int CmdEncode(const CommandArgs& args);   // encode IN OUT
int CmdDecode(const CommandArgs& args);   // decode IN OUT
int CmdScript(const CommandArgs& args);   // script FILE.xml [--json]
int CmdBuild(const CommandArgs& args);    // build PROJECT.xml [--stub S] [-o OUT] [--online OUT] [--jobs N]
int CmdCheck(const CommandArgs& args);    // check PROJECT.xml [--strict]
int CmdList(const CommandArgs& args);     // list SETUP.exe [--xml]
int CmdExtract(const CommandArgs& args);  // extract SETUP.exe DIR
