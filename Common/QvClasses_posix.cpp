// File access of the streams for the native build: UTF-8 paths through the C
// library. POSIX has no share modes, so the sharing bits of a mode are
// accepted and have no effect.
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>

#include "QvClasses.h"
#include "QvSysUtils.h"

namespace qvclasses_detail {

std::FILE* OpenFile(const WideString& fileName, uint32_t mode, bool create, int& error) {
  const char* how;
  if (create) how = "w+be";
  else if ((mode & 3) == fmOpenRead) how = "rbe";
  else how = "r+be";  // write-only and read-write both open without truncating
  errno = 0;
  std::FILE* f = fileName.empty() ? nullptr : ::fopen(WideToUtf8(fileName).c_str(), how);
  error = f ? 0 : (errno ? errno : ENOENT);
  // fopen opens a folder for reading; a stream on one would only fail later.
  struct stat st;
  if (f && ::fstat(::fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    f = nullptr;
    error = EISDIR;
  }
  return f;
}

bool SeekFile(std::FILE* f, int64_t offset, int whence) {
  return ::fseeko(f, static_cast<off_t>(offset), whence) == 0;
}

int64_t TellFile(std::FILE* f) { return static_cast<int64_t>(::ftello(f)); }

bool TruncateFile(std::FILE* f, int64_t size) { return ::ftruncate(::fileno(f), static_cast<off_t>(size)) == 0; }

}  // namespace qvclasses_detail
