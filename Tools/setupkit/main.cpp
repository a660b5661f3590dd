// setupkit <command> ...: the package tool's dispatcher. Commands get their
// arguments as UTF-8 on every platform; on Windows they are taken from the
// wide command line, since main's argv is in the ANSI code page and would
// lose every character outside it.
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "Commands.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "setupkit_version.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

struct TCommand {
  const char* Name;
  int (*Run)(const CommandArgs&);
  const char* Synopsis;
  const char* Summary;
};

const TCommand kCommands[] = {
    {"init", &CmdInit, "init FOLDER [-o PROJECT.xml]", "write a project that packs a folder of files, and its picture"},
    {"encode", &CmdEncode, "encode IN OUT", "encode a file into the package format (zlib, scrambled)"},
    {"decode", &CmdDecode, "decode IN OUT", "decode a file stored in the package format"},
    {"script", &CmdScript, "script FILE.xml [--json]", "read a setup script and print it (as JSON with --json)"},
    {"check", &CmdCheck, "check PROJECT.xml [--strict]", "report what a build would refuse or an install would trip on"},
    {"build", &CmdBuild, "build PROJECT.xml [options]", "build a full (and online) setup from a project file"},
    {"list", &CmdList, "list SETUP.exe [--xml]", "show what a setup installs (its script with --xml)"},
    {"extract", &CmdExtract, "extract SETUP.exe DIR", "write a setup's files, script, icon and licenses under DIR"},
    {"pin", &CmdPin, "pin ONLINE.exe FULL.exe", "make an online setup accept only this full setup"},
};

const char* const kUsage = "usage: setupkit <command> [arguments...]   (setupkit --help lists the commands)\n";

void PrintHelp() {
  std::printf("usage: setupkit <command> [arguments...]\n\ncommands:\n");
  for (const auto& c : kCommands) std::printf("  %-26s %s\n", c.Synopsis, c.Summary);
  std::printf("\n'setupkit help <command>' (or '<command> --help') shows one command's usage; 'setupkit --version'\n"
              "its release.\n");
}

// Error text for the user: UTF-8 when stderr is a file or pipe; straight to
// the console as UTF-16 on Windows, where UTF-8 bytes would be misread.
void ReportError(const std::string& utf8) {
  const std::string line = "setupkit: " + utf8 + "\n";
#ifdef _WIN32
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode)) {
    const WideString wide = Utf8ToWide(line);
    DWORD written = 0;
    WriteConsoleW(err, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
#endif
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

int Dispatch(const CommandArgs& all) {
  if (all.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& name = all[0];
  if (name == "--help" || name == "-h" || name == "help") {
    // "help COMMAND" is that command's usage.
    if (name == "help" && all.size() > 1) return Dispatch({all[1], "--help"});
    PrintHelp();
    return 0;
  }
  if (name == "--version") {
    std::printf("setupkit %s\n", SETUPKIT_VERSION);
    return 0;
  }
  for (const auto& c : kCommands)
    if (name == c.Name) return c.Run(CommandArgs(all.begin() + 1, all.end()));
  std::fprintf(stderr, "setupkit: unknown command '%s'\n", name.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    SetCommandLineArgs(argc, argv);
    CommandArgs args;
    for (int i = 1; i <= ParamCount(); ++i) args.push_back(WideToUtf8(ParamStr(i)));
    const int code = Dispatch(args);
    std::fflush(stdout);
    return code;
  } catch (const Exception& e) {
    ReportError(WideToUtf8(e.Message()));
  } catch (const std::bad_alloc&) {
    ReportError("out of memory");
  } catch (const std::exception& e) {
    ReportError(e.what());
  }
  return 1;
}
