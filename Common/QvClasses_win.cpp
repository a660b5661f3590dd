// File access of the streams for Windows: wide paths through the C runtime
// with the mode's sharing mapped onto its share flags, and 64-bit seeks.
#include <windows.h>

#include <errno.h>
#include <io.h>
#include <share.h>
#include <stdio.h>

#include <cstdint>

#include "QvClasses.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"

namespace qvclasses_detail {

namespace {
// The sharing bits, as the file layer numbers them: 0 (compatibility) and
// exclusive deny everything.
int ShareFlag(uint32_t mode) {
  switch ((mode & 0xF0) >> 4) {
    case 2: return _SH_DENYWR;
    case 3: return _SH_DENYRD;
    case 4: return _SH_DENYNO;
    default: return _SH_DENYRW;
  }
}
}  // namespace

std::FILE* OpenFile(const WideString& fileName, uint32_t mode, bool create, int& error) {
  const wchar_t* how;
  if (create) how = L"w+b";
  else if ((mode & 3) == fmOpenRead) how = L"rb";
  else how = L"r+b";  // write-only and read-write both open without truncating
  ::SetLastError(ERROR_SUCCESS);
  std::FILE* f = fileName.empty() ? nullptr
                                  : ::_wfsopen(W(fileName), how, ShareFlag(mode));
  if (f) {
    error = 0;
    return f;
  }
  error = static_cast<int>(::GetLastError());
  if (error == ERROR_SUCCESS) error = fileName.empty() ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
  return nullptr;
}

bool SeekFile(std::FILE* f, int64_t offset, int whence) { return ::_fseeki64(f, offset, whence) == 0; }

int64_t TellFile(std::FILE* f) { return static_cast<int64_t>(::_ftelli64(f)); }

bool TruncateFile(std::FILE* f, int64_t size) { return ::_chsize_s(::_fileno(f), size) == 0; }

}  // namespace qvclasses_detail
