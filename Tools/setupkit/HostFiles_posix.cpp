#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "HostFiles.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

int64_t FileLastWriteUnixMs(const WideString& path) {
  struct stat st;
  if (stat(WideToUtf8(path).c_str(), &st) != 0)
    throw EInOutError(u"Cannot read the time of \"" + path + u"\". " + SysErrorMessage(errno));
  // The fraction the file system keeps, cut to milliseconds like the
  // Windows side.
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

TDateTime UnixMsToLocalDateTime(int64_t ms) {
  const int64_t msOfSecond = ((ms % 1000) + 1000) % 1000;
  const time_t seconds = static_cast<time_t>((ms - msOfSecond) / 1000);
  struct tm local;
  localtime_r(&seconds, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(msOfSecond));
}

void SetFileLastWriteLocal(const WideString& path, TDateTime localTime) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(localTime, y, mo, d);
  DecodeTime(localTime, h, mi, s, ms);
  struct tm local = {};
  local.tm_year = y - 1900;
  local.tm_mon = mo - 1;
  local.tm_mday = d;
  local.tm_hour = h;
  local.tm_min = mi;
  local.tm_sec = s;
  local.tm_isdst = -1;  // let the zone rules decide, as for the reading side
  const time_t t = mktime(&local);
  struct timespec times[2];
  times[0].tv_sec = t;
  times[0].tv_nsec = static_cast<long>(ms) * 1000000;
  times[1] = times[0];
  if (utimensat(AT_FDCWD, WideToUtf8(path).c_str(), times, 0) != 0)
    throw EInOutError(u"Cannot set the time of \"" + path + u"\". " + SysErrorMessage(errno));
}

THostEntry InspectHostEntry(const WideString& path) {
  const std::string p = WideToUtf8(path);
  THostEntry e;
  struct stat st;
  if (lstat(p.c_str(), &st) != 0)
    throw EFOpenError(u"Cannot read \"" + path + u"\". " + SysErrorMessage(errno));
  if (S_ISLNK(st.st_mode)) {
    e.IsLink = true;
    char target[PATH_MAX];
    const ssize_t n = readlink(p.c_str(), target, sizeof target - 1);
    if (n >= 0) e.Target = Utf8ToWide(std::string(target, static_cast<size_t>(n)));
    if (stat(p.c_str(), &st) != 0) {
      const int err = errno;
      if (err == ENOENT || err == ENOTDIR) {
        e.Kind = THostEntry::hekMissing;
        return e;
      }
      if (err == ELOOP) {
        e.Kind = THostEntry::hekLoop;
        return e;
      }
      throw EFOpenError(u"Cannot follow the link \"" + path + u"\". " + SysErrorMessage(err));
    }
  }
  if (S_ISREG(st.st_mode)) {
    e.Kind = THostEntry::hekFile;
    e.Size = static_cast<uint64_t>(st.st_size);
  } else if (S_ISDIR(st.st_mode)) {
    e.Kind = THostEntry::hekFolder;
    std::unique_ptr<char, decltype(&std::free)> real(realpath(p.c_str(), nullptr), &std::free);
    if (!real) throw EFOpenError(u"Cannot resolve the folder \"" + path + u"\". " + SysErrorMessage(errno));
    e.RealPath = Utf8ToWide(real.get());
  }
  return e;
}
