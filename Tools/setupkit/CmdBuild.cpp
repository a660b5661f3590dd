// build PROJECT.xml [--arch x86|x64] [--stub SETUP.exe] [-o OUT.exe] [--online OUT.exe] [--jobs N] [--level N]
//       [--no-uninstaller] [--no-pin]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "Commands.h"
#include "PackageBuilder.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

const char* const kBuildUsage =
    "usage: setupkit build PROJECT.xml [--arch x86|x64] [--stub SETUP.exe] [-o OUT.exe] [--online OUT.exe]\n"
    "                      [--jobs N] [--level N] [--no-uninstaller] [--no-pin] [--winget DIR [--winget-id ID]]\n"
    "  --arch     x86 (default): a 32-bit product, in Setup.exe with Uninstall.exe;\n"
    "             x64: a 64-bit product, in Setup-x64.exe with Uninstall-x64.exe (Program Files, the\n"
    "             64-bit registry view; the setup cannot start on 32-bit Windows)\n"
    "  --stub     the installer to pack into, of that architecture (default: the one beside setupkit)\n"
    "  -o         the full setup (default: the project's FullSetupFile)\n"
    "  --online   also build the online setup (default: MiniSetupFile when BuildMiniSetup)\n"
    "  --jobs     encoding threads (default: one per core)\n"
    "  --level    compression of the files, 1 (fastest) to %d (smallest); default %d (%s)\n"
    "  --no-uninstaller  do not add the uninstaller beside setupkit to a product that has none in {app}\n"
    "  --no-pin   let the online setup install any full setup its URL serves, not only the one built here\n"
    "  --winget   also write the full setup's winget manifest (version, installer, default locale) into DIR\n"
    "  --winget-id  its PackageIdentifier (default: Publisher.Product from CompanyName and the title)\n"
    "The same project and files give the same bytes. SOURCE_DATE_EPOCH (seconds since 1970 UTC), when set,\n"
    "is the setup's time stamp and the latest file time it holds, with file times in UTC; otherwise the\n"
    "newest source file's time is the stamp and the files keep their own local times.\n";

void PrintUsage(std::FILE* to) {
  std::fprintf(to, kBuildUsage, MaxBuildLevel(), DefaultBuildLevel(), BuildCompressorName());
}

// A person watching gets a progress line; a log or a pipe only the summary.
bool StdoutIsTerminal() {
#ifdef _WIN32
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
  return isatty(fileno(stdout)) != 0;
#endif
}

// One line rewritten in place, at most ten times a second.
class TProgressLine {
public:
  void Show(const TBuildProgress& p) {
    const auto now = Clock::now();
    const bool last = p.FilesDone == p.Files;
    if (!last && FShown && now - FLastShown < std::chrono::milliseconds(100)) return;
    FShown = true;
    FLastShown = now;
    const double seconds = std::chrono::duration<double>(now - FStart).count();
    const double mb = static_cast<double>(p.BytesDone) / 1e6;
    std::printf("\r%d of %d files, %.0f of %.0f MB, %.1f MB/s   ", p.FilesDone, p.Files, mb,
                static_cast<double>(p.Bytes) / 1e6, seconds > 0 ? mb / seconds : 0.0);
    std::fflush(stdout);
  }
  // Ends the line, so that what follows starts on a fresh one.
  void Finish() {
    if (FShown) std::fputs("\n", stdout);
    FShown = false;
  }

private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point FStart = Clock::now();
  Clock::time_point FLastShown;
  bool FShown = false;
};

}  // namespace

int CmdBuild(const CommandArgs& args) {
  TBuildOptions options;
  int projects = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    const bool takesValue =
        a == "--stub" || a == "-o" || a == "--online" || a == "--jobs" || a == "--level" || a == "--arch" ||
        a == "--winget" || a == "--winget-id";
    if (takesValue) {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "setupkit: build: %s needs a value\n", a.c_str());
        PrintUsage(stderr);
        return 2;
      }
      const WideString value = Utf8ToWide(args[++i]);
      if (a == "--arch") {
        if (value == u"x86") options.Arch = TSetupArch::X86;
        else if (value == u"x64") options.Arch = TSetupArch::X64;
        else {
          std::fprintf(stderr, "setupkit: build: --arch takes x86 or x64, not '%s'\n", args[i].c_str());
          return 2;
        }
      } else if (a == "--winget") options.WingetDir = value;
      else if (a == "--winget-id") options.WingetId = value;
      else if (a == "--stub") options.StubFile = value;
      else if (a == "-o") options.FullOutput = value;
      else if (a == "--online") options.OnlineOutput = value;
      else if (a == "--level") {
        int32_t level;
        if (!TryStrToInt(value, level) || level < 1 || level > MaxBuildLevel()) {
          std::fprintf(stderr, "setupkit: build: --level takes a number from 1 to %d\n", MaxBuildLevel());
          return 2;
        }
        options.Level = level;
      } else {
        int32_t jobs;
        if (!TryStrToInt(value, jobs) || jobs < 1 || jobs > 256) {
          std::fprintf(stderr, "setupkit: build: --jobs takes a number from 1 to 256\n");
          return 2;
        }
        options.Jobs = static_cast<unsigned>(jobs);
      }
    } else if (a == "--no-uninstaller") {
      options.NoUninstaller = true;
    } else if (a == "--no-pin") {
      options.NoPin = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "setupkit: build: unknown option '%s'\n", a.c_str());
      PrintUsage(stderr);
      return 2;
    } else {
      options.ProjectFile = Utf8ToWide(a);
      ++projects;
    }
  }
  // Reproducible builds' convention for "the time of the sources"; an
  // empty value counts as unset, a malformed one is refused.
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    const std::string text = epoch;
    if (text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(text) > 0xFFFFFFFFLL) {
      std::fprintf(stderr,
                   "setupkit: build: SOURCE_DATE_EPOCH '%s' is not a number of seconds since 1970-01-01 UTC "
                   "(0 to 4294967295)\n",
                   epoch);
      return 2;
    }
    options.SourceDateEpoch = std::stoll(text);
  }
  if (projects != 1) {
    std::fprintf(stderr, "setupkit: build: takes one project file, not %d\n", projects);
    PrintUsage(stderr);
    return 2;
  }
  TProgressLine line;
  if (StdoutIsTerminal()) options.Progress = [&line](const TBuildProgress& p) { line.Show(p); };
  TBuildResult r;
  try {
    r = BuildPackage(options);
  } catch (...) {
    line.Finish();
    throw;
  }
  line.Finish();
  if (!r.AddedUninstaller.empty())
    std::printf("setupkit: added the uninstaller %s as {app}\\Uninstall.exe (--no-uninstaller leaves it out)\n",
                WideToUtf8(r.AddedUninstaller).c_str());
  std::printf("%s: %d files, %llu bytes, packed into %llu bytes\n", WideToUtf8(r.FullSetup).c_str(), r.Files,
              static_cast<unsigned long long>(r.SourceBytes), static_cast<unsigned long long>(r.BlobBytes));
  for (const WideString& f : r.WingetFiles) std::printf("%s: winget manifest\n", WideToUtf8(f).c_str());
  for (const std::string& note : r.WingetNotes) std::printf("setupkit: winget: %s\n", note.c_str());
  if (!r.OnlineSetup.empty()) {
    if (r.Pinned)
      std::printf("%s: online setup, pinned to the full setup's SHA-256 %s\n", WideToUtf8(r.OnlineSetup).c_str(),
                  DigestToHex(r.FullDigest).c_str());
    else
      std::printf("%s: online setup, not pinned (installs any full setup its URL serves)\n",
                  WideToUtf8(r.OnlineSetup).c_str());
  }
  return 0;
}
