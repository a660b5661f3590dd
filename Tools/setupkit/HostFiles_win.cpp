#include <windows.h>

#include <vector>

#include "HostFiles.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"

namespace {


[[noreturn]] void Fail(const char16_t* what, const WideString& path) {
  throw EInOutError(WideString(what) + u" \"" + path + u"\". " + SysErrorMessage(static_cast<int>(GetLastError())));
}

}  // namespace

// FILETIME counts 100 ns from 1601-01-01 UTC.
constexpr int64_t kFileTimeUnixMs = 11644473600000;

int64_t FileLastWriteUnixMs(const WideString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(path), GetFileExInfoStandard, &data)) Fail(u"Cannot read the time of", path);
  const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000) - kFileTimeUnixMs;
}

TDateTime UnixMsToLocalDateTime(int64_t ms) {
  const uint64_t ticks = static_cast<uint64_t>(ms + kFileTimeUnixMs) * 10000;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME utc, local;
  // The zone rules in force at that date, not today's bias.
  if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    throw EInOutError(u"Cannot convert a file time to local time. " +
                      SysErrorMessage(static_cast<int>(GetLastError())));
  return SystemTimeToDateTime(local);
}

void SetFileLastWriteLocal(const WideString& path, TDateTime localTime) {
  const SYSTEMTIME local = DateTimeToSystemTime(localTime);
  SYSTEMTIME utc;
  FILETIME ft;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
    Fail(u"Cannot convert the time for", path);
  THandle file = Owned(CreateFileW(W(path), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !SetFileTime(file.get(), nullptr, nullptr, &ft)) Fail(u"Cannot set the time of", path);
}

THostEntry InspectHostEntry(const WideString& path) {
  THostEntry e;
  const DWORD attrs = GetFileAttributesW(W(path));
  if (attrs == INVALID_FILE_ATTRIBUTES)
    throw EFOpenError(u"Cannot read \"" + path + u"\". " + SysErrorMessage(static_cast<int>(GetLastError())));
  // Symbolic links and junctions are both reparse points; opening one
  // follows it to the end, and backup semantics let a folder be opened.
  e.IsLink = (attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  THandle h = Owned(CreateFileW(W(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h) {
    const DWORD err = GetLastError();
    if (e.IsLink && (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)) {
      e.Kind = THostEntry::hekMissing;
      return e;
    }
    if (e.IsLink && err == ERROR_CANT_RESOLVE_FILENAME) {
      e.Kind = THostEntry::hekLoop;
      return e;
    }
    throw EFOpenError(u"Cannot open \"" + path + u"\". " + SysErrorMessage(static_cast<int>(err)));
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h.get(), &info))
    throw EFOpenError(u"Cannot read \"" + path + u"\". " + SysErrorMessage(static_cast<int>(GetLastError())));
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    e.Kind = THostEntry::hekFolder;
    std::vector<wchar_t> buf(MAX_PATH + 1);
    DWORD n = GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    if (n >= buf.size()) {
      buf.resize(n + 1);
      n = GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), FILE_NAME_NORMALIZED);
    }
    if (n == 0 || n >= buf.size())
      throw EFOpenError(u"Cannot resolve the folder \"" + path + u"\". " +
                        SysErrorMessage(static_cast<int>(GetLastError())));
    WideString real(reinterpret_cast<const WideChar*>(buf.data()), n);
    // "\\?\C:\x" and "\\?\UNC\server\share" back to their plain forms.
    if (real.compare(0, 8, u"\\\\?\\UNC\\") == 0) real = u"\\" + real.substr(7);
    else if (real.compare(0, 4, u"\\\\?\\") == 0) real = real.substr(4);
    e.RealPath = real;
  } else {
    e.Kind = THostEntry::hekFile;
    e.Size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }
  return e;
}
