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
    std::fprintf(stderr, "setupkit: %s: takes one file, not %d\n", command, files);
    std::fputs(usage, stderr);
    return 2;
  }
  return -1;
}

int ParseFiles(const CommandArgs& args, const char* command, size_t count, const char* usage) {
  size_t files = 0;
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(usage, stdout);
      return 0;
    }
    if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "setupkit: %s: unknown option '%s'\n", command, a.c_str());
      std::fputs(usage, stderr);
      return 2;
    }
    ++files;
  }
  if (files != count) {
    std::fprintf(stderr, "setupkit: %s: takes %zu files, not %zu\n", command, count, files);
    std::fputs(usage, stderr);
    return 2;
  }
  return -1;
}
