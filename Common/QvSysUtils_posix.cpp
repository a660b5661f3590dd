// Host side of QvSysUtils for the native build: paths are UTF-8 and use "/",
// the system code page is UTF-8, and the command line comes from main.
#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <vector>

#include "QvSysUtils.h"

namespace {

std::vector<WideString>& CommandLine() {
  static std::vector<WideString> args;
  return args;
}

std::string HostPath(const WideString& s) { return WideToUtf8(s); }

bool StatIs(const WideString& path, mode_t kind) {
  if (path.empty()) return false;
  struct stat st;
  if (::stat(HostPath(path).c_str(), &st) != 0) return false;
  return (st.st_mode & S_IFMT) == kind;
}

}  // namespace

RawByteString WideToAnsi(const WideString& s) { return WideToUtf8(s); }
WideString AnsiToWide(const RawByteString& s) { return Utf8ToWide(s); }

WideChar DecimalSeparator() { return u'.'; }
WideChar ThousandSeparator() { return u','; }

bool FileExists(const WideString& fileName) { return StatIs(fileName, S_IFREG); }
bool DirectoryExists(const WideString& dir) { return StatIs(dir, S_IFDIR); }

bool ForceDirectories(const WideString& dir) {
  if (dir.empty()) throw EInOutError(u"Unable to create directory");
  WideString d = dir;
  while (d.size() > 1 && d.back() == u'/') d.pop_back();
  if (DirectoryExists(d)) return true;
  const size_t slash = d.rfind(u'/');
  if (slash != WideString::npos && slash > 0) {
    if (!ForceDirectories(d.substr(0, slash))) return false;
  }
  if (::mkdir(HostPath(d).c_str(), 0777) == 0) return true;
  // Someone else may have made it in the meantime.
  return errno == EEXIST && DirectoryExists(d);
}

bool DeleteFile(const WideString& fileName) {
  if (fileName.empty()) return false;
  // Like the Windows call, this removes files only, never folders.
  if (DirectoryExists(fileName)) {
    errno = EISDIR;
    return false;
  }
  return ::unlink(HostPath(fileName).c_str()) == 0;
}

WideString ExpandFileName(const WideString& fileName) {
  if (fileName.empty()) return fileName;
  std::error_code ec;
  std::filesystem::path p(HostPath(fileName));
  auto abs = std::filesystem::absolute(p, ec);
  if (ec) return fileName;
  return Utf8ToWide(abs.lexically_normal().string());
}

WideChar PathDelim() { return u'/'; }

void SetCommandLineArgs(int argc, char** argv) {
  auto& args = CommandLine();
  args.clear();
  for (int i = 0; i < argc && argv && argv[i]; ++i) args.push_back(Utf8ToWide(argv[i]));
}

int ParamCount() {
  const auto& args = CommandLine();
  return args.empty() ? 0 : static_cast<int>(args.size()) - 1;
}

// ParamStr(0) is the executable's real path when the system can tell it, so
// that it does not depend on how the program was started.
WideString ParamStr(int index) {
  const auto& args = CommandLine();
  if (index == 0) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n > 0 && static_cast<size_t>(n) < sizeof buf) return Utf8ToWide(buf, static_cast<size_t>(n));
    return args.empty() ? WideString() : args[0];
  }
  if (index < 0 || static_cast<size_t>(index) >= args.size()) return WideString();
  return args[static_cast<size_t>(index)];
}

WideString SysErrorMessage(int errorCode) {
  char buf[256];
  buf[0] = 0;
  // The GNU strerror_r may return a static string instead of filling buf.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  const char* text = ::strerror_r(errorCode, buf, sizeof buf);
#else
  const char* text = ::strerror_r(errorCode, buf, sizeof buf) == 0 ? buf : "";
#endif
  std::string s = text ? text : "";
  while (!s.empty() && (static_cast<unsigned char>(s.back()) <= ' ' || s.back() == '.')) s.pop_back();
  return Utf8ToWide(s);
}

int GetLastOSError() { return errno; }

// A random (version 4) GUID; the system's own generator exists only on
// Windows.
WideString TQvStrfn::NewGUIDString() {
  // random_device draws from the kernel's generator; it is not promised to
  // be safe to share between threads, hence the lock.
  static std::mutex lock;
  static std::random_device device;
  uint8_t b[16];
  {
    std::lock_guard<std::mutex> guard(lock);
    for (int i = 0; i < 16; i += 4) {
      const uint32_t r = device();
      std::memcpy(b + i, &r, 4);
    }
  }
  return GUIDString(b, 4);
}
