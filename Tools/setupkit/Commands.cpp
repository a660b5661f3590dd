#include "Commands.h"

#include <cstdio>

int ParseFileAndFlag(const CommandArgs& args, const char* command, const char* flag, const char* usage,
                     std::string& file, bool& flagSet) {
  int files = 0;
  flagSet = false;
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(usage, stdout);
      return 0;
    }
    if (a == flag) {
      flagSet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "setupkit: %s: unknown option '%s'\n", command, a.c_str());
      std::fputs(usage, stderr);
      return 2;
    } else {
      file = a;
      ++files;
    }
  }
  if (files != 1) {
    std::fputs(usage, stderr);
    return 2;
  }
  return -1;
}
