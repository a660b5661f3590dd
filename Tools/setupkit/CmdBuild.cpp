// build PROJECT.xml [--stub SETUP.exe] [-o OUT.exe] [--online OUT.exe] [--jobs N]
#include <cstdio>
#include <string>

#include "Commands.h"
#include "PackageBuilder.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

const char* const kBuildUsage =
    "usage: setupkit build PROJECT.xml [--stub SETUP.exe] [-o OUT.exe] [--online OUT.exe] [--jobs N]\n"
    "  --stub     the installer to pack into (default: Setup.exe beside setupkit)\n"
    "  -o         the full setup (default: the project's FullSetupFile)\n"
    "  --online   also build the online setup (default: MiniSetupFile when BuildMiniSetup)\n"
    "  --jobs     encoding threads (default: one per core)\n";

}  // namespace

int CmdBuild(const CommandArgs& args) {
  TBuildOptions options;
  int projects = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kBuildUsage, stdout);
      return 0;
    }
    const bool takesValue = a == "--stub" || a == "-o" || a == "--online" || a == "--jobs";
    if (takesValue) {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "setupkit: build: %s needs a value\n", a.c_str());
        std::fputs(kBuildUsage, stderr);
        return 2;
      }
      const WideString value = Utf8ToWide(args[++i]);
      if (a == "--stub") options.StubFile = value;
      else if (a == "-o") options.FullOutput = value;
      else if (a == "--online") options.OnlineOutput = value;
      else {
        int32_t jobs;
        if (!TryStrToInt(value, jobs) || jobs < 1 || jobs > 256) {
          std::fprintf(stderr, "setupkit: build: --jobs takes a number from 1 to 256\n");
          return 2;
        }
        options.Jobs = static_cast<unsigned>(jobs);
      }
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "setupkit: build: unknown option '%s'\n", a.c_str());
      std::fputs(kBuildUsage, stderr);
      return 2;
    } else {
      options.ProjectFile = Utf8ToWide(a);
      ++projects;
    }
  }
  if (projects != 1) {
    std::fputs(kBuildUsage, stderr);
    return 2;
  }
  const TBuildResult r = BuildPackage(options);
  std::printf("%s: %d files, %llu bytes, packed into %llu bytes\n", WideToUtf8(r.FullSetup).c_str(), r.Files,
              static_cast<unsigned long long>(r.SourceBytes), static_cast<unsigned long long>(r.BlobBytes));
  if (!r.OnlineSetup.empty()) std::printf("%s: online setup\n", WideToUtf8(r.OnlineSetup).c_str());
  return 0;
}
