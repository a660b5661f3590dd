#include <windows.h>

#include "HostFiles.h"
#include "QvWinTime.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

struct THandle {
  HANDLE H;
  explicit THandle(HANDLE h) : H(h) {}
  ~THandle() {
    if (H != INVALID_HANDLE_VALUE) CloseHandle(H);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
};

const wchar_t* W(const WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

[[noreturn]] void Fail(const char16_t* what, const WideString& path) {
  throw EInOutError(WideString(what) + u" \"" + path + u"\". " + SysErrorMessage(static_cast<int>(GetLastError())));
}

}  // namespace

TDateTime FileLastWriteLocal(const WideString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data)) Fail(u"Cannot read the time of", path);
  SYSTEMTIME utc, local;
  // The zone rules in force at the file's own date, not today's bias.
  if (!FileTimeToSystemTime(&data.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    Fail(u"Cannot convert the time of", path);
  return SystemTimeToDateTime(local);
}

void SetFileLastWriteLocal(const WideString& path, TDateTime localTime) {
  const SYSTEMTIME local = DateTimeToSystemTime(localTime);
  SYSTEMTIME utc;
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
    Fail(u"Cannot convert the time for", path);
  THandle file(CreateFileW(W(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.H == INVALID_HANDLE_VALUE || !SetFileTime(file.H, nullptr, nullptr, &ft)) Fail(u"Cannot set the time of", path);
}
