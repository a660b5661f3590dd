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
int CmdBuild(const CommandArgs& args);    // build PROJECT.xml [--stub S] [-o OUT] [--online OUT] [--jobs N] [--no-pin]
int CmdCheck(const CommandArgs& args);    // check PROJECT.xml [--strict]
int CmdList(const CommandArgs& args);     // list SETUP.exe [--xml]
int CmdExtract(const CommandArgs& args);  // extract SETUP.exe DIR
int CmdPin(const CommandArgs& args);      // pin ONLINE.exe FULL.exe
int CmdInit(const CommandArgs& args);     // init FOLDER [-o PROJECT.xml] [--title T] [--publisher P] [--version V]

// The arguments of script, check and list: one file and one optional flag.
// Returns -1 when the command goes on with file (and flagSet), else the
// exit code to end with: 0 after --help, 2 after a usage error, which it
// has printed with the usage.
int ParseFileAndFlag(const CommandArgs& args, const char* command, const char* flag, const char* usage,
                     std::string& file, bool& flagSet);
// The arguments of encode, decode and extract: exactly count files and no
// option. The same return as ParseFileAndFlag; its usage errors name the
// command.
int ParseFiles(const CommandArgs& args, const char* command, size_t count, const char* usage);
