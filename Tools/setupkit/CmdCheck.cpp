// check PROJECT.xml [--strict]: everything a build would refuse, and what
// would go wrong at install time, without building: the file items are
// expanded as for a build, but no file is read.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "PackageChecks.h"
#include "QvSysUtils.h"

namespace {

const char* const kCheckUsage =
    "usage: setupkit check PROJECT.xml [--strict]\n"
    "  --strict   warnings fail the check too\n";

void PrintAll(const char* kind, const std::vector<WideString>& lines) {
  for (const WideString& l : lines) std::printf("%s: %s\n", kind, WideToUtf8(l).c_str());
}

}  // namespace

int CmdCheck(const CommandArgs& args) {
  std::string project;
  bool strict = false;
  const int done = ParseFileAndFlag(args, "check", "--strict", kCheckUsage, project, strict);
  if (done >= 0) return done;
  const TPackageCheck check = CheckProjectFile(Utf8ToWide(project));
  PrintAll("error", check.NameErrors);
  PrintAll("error", check.LinkErrors);
  PrintAll("error", check.StartErrors);
  PrintAll("error", check.InstallErrors);
  PrintAll("warning", check.Warnings);
  const size_t errors = check.ErrorCount();
  std::printf("%s: %lu error(s), %lu warning(s)\n", project.c_str(), static_cast<unsigned long>(errors),
              static_cast<unsigned long>(check.Warnings.size()));
  std::fflush(stdout);
  return errors == 0 && (!strict || check.Warnings.empty()) ? 0 : 1;
}
