#include <windows.h>

#include "HostFiles.h"
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
  return EncodeDate(local.wYear, local.wMonth, local.wDay) +
         EncodeTime(local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
}

void SetFileLastWriteLocal(const WideString& path, TDateTime localTime) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(localTime, y, mo, d);
  DecodeTime(localTime, h, mi, s, ms);
  SYSTEMTIME local = {};
  local.wYear = static_cast<WORD>(y);
  local.wMonth = static_cast<WORD>(mo);
  local.wDay = static_cast<WORD>(d);
  local.wHour = static_cast<WORD>(h);
  local.wMinute = static_cast<WORD>(mi);
  local.wSecond = static_cast<WORD>(s);
  local.wMilliseconds = static_cast<WORD>(ms);
  SYSTEMTIME utc;
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
    Fail(u"Cannot convert the time for", path);
  THandle file(CreateFileW(W(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.H == INVALID_HANDLE_VALUE || !SetFileTime(file.H, nullptr, nullptr, &ft)) Fail(u"Cannot set the time of", path);
}
