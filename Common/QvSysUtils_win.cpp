// Host side of QvSysUtils for Windows: the ANSI code page, the user locale,
// wide file calls, the process's own command line and COM's GUIDs.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <vector>

#include "QvSysUtils.h"
#include "QvWinApi.h"

namespace {



struct LocalFreer {
  void operator()(void* p) const { if (p) ::LocalFree(p); }
};

WideChar LocaleChar(LCTYPE type, WideChar fallback, bool allowNone) {
  wchar_t buf[8] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 8) <= 0) return fallback;
  if (buf[0] == 0) return allowNone ? WideChar(0) : fallback;
  return static_cast<WideChar>(buf[0]);
}

DWORD Attributes(const WideString& path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesW(W(path));
}

bool IsDelim(WideChar c) { return c == u'\\' || c == u'/'; }

// Length of the part of dir that cannot be created: "C:", "C:\", "\\server\share\".
size_t RootLength(const WideString& d) {
  if (d.size() >= 2 && d[1] == u':') return (d.size() >= 3 && IsDelim(d[2])) ? 3 : 2;
  if (d.size() >= 2 && IsDelim(d[0]) && IsDelim(d[1])) {
    size_t i = 2, parts = 0;
    while (i < d.size() && parts < 2) {
      while (i < d.size() && !IsDelim(d[i])) ++i;
      ++parts;
      if (i < d.size()) ++i;
    }
    return i;
  }
  if (!d.empty() && IsDelim(d[0])) return 1;
  return 0;
}

}  // namespace

RawByteString WideToAnsi(const WideString& s) {
  if (s.empty()) return RawByteString();
  const int n = ::WideCharToMultiByte(CP_ACP, 0, W(s), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return RawByteString();
  RawByteString r(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, W(s), static_cast<int>(s.size()), &r[0], n, nullptr, nullptr);
  return r;
}

WideString AnsiToWide(const RawByteString& s) {
  if (s.empty()) return WideString();
  const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) return WideString();
  WideString r(static_cast<size_t>(n), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), reinterpret_cast<wchar_t*>(&r[0]), n);
  return r;
}

// Read once, as the runtime reads its format settings at start-up.
WideChar DecimalSeparator() {
  static const WideChar sep = LocaleChar(LOCALE_SDECIMAL, u'.', false);
  return sep;
}

WideChar ThousandSeparator() {
  static const WideChar sep = LocaleChar(LOCALE_STHOUSAND, u',', true);
  return sep;
}

bool FileExists(const WideString& fileName) {
  const DWORD a = Attributes(fileName);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const WideString& dir) {
  const DWORD a = Attributes(dir);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(const WideString& dir) {
  if (dir.empty()) throw EInOutError(u"Unable to create directory");
  WideString d = dir;
  const size_t root = RootLength(d);
  while (d.size() > root && IsDelim(d.back())) d.pop_back();
  if (d.size() <= root || DirectoryExists(d)) return true;
  size_t cut = d.size();
  while (cut > root && !IsDelim(d[cut - 1])) --cut;
  if (cut > root) {
    if (!ForceDirectories(d.substr(0, cut))) return false;
  }
  if (::CreateDirectoryW(W(d), nullptr)) return true;
  return ::GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(d);
}

bool DeleteFile(const WideString& fileName) { return !fileName.empty() && ::DeleteFileW(W(fileName)) != 0; }

WideString ExpandFileName(const WideString& fileName) {
  if (fileName.empty()) return fileName;
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetFullPathNameW(W(fileName), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (n == 0) return fileName;
    if (n < buf.size()) return WideString(reinterpret_cast<const char16_t*>(buf.data()), n);
    buf.resize(n + 1);
  }
}

WideChar PathDelim() { return u'\\'; }

// Windows keeps the command line itself; main's arguments are not needed.
void SetCommandLineArgs(int, char**) {}

namespace {

std::vector<WideString> ParsedCommandLine() {
  std::vector<WideString> args;
  int n = 0;
  std::unique_ptr<void, LocalFreer> holder;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  holder.reset(argv);
  for (int i = 0; argv && i < n; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  return args;
}

}  // namespace

int ParamCount() {
  const auto args = ParsedCommandLine();
  return args.empty() ? 0 : static_cast<int>(args.size()) - 1;
}

// ParamStr(0) is the module's own file name, not what the caller typed.
WideString ParamStr(int index) {
  if (index == 0) {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
      const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
      if (n == 0) return WideString();
      if (n < buf.size()) return WideString(reinterpret_cast<const char16_t*>(buf.data()), n);
      buf.resize(buf.size() * 2);
    }
  }
  const auto args = ParsedCommandLine();
  if (index < 0 || static_cast<size_t>(index) >= args.size()) return WideString();
  return args[static_cast<size_t>(index)];
}

WideString SysErrorMessage(int errorCode) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(errorCode), 0, reinterpret_cast<LPWSTR>(&text), 0,
                                   nullptr);
  std::unique_ptr<void, LocalFreer> holder(text);
  if (n == 0 || !text) return WideString();
  WideString s(reinterpret_cast<const char16_t*>(text), n);
  while (!s.empty() && (s.back() <= u' ' || s.back() == u'.')) s.pop_back();
  return s;
}

int GetLastOSError() { return static_cast<int>(::GetLastError()); }

// The result of CoCreateGuid is not examined: it does not fail in practice,
// and the GUID is only ever a fresh name.
WideString TQvStrfn::NewGUIDString() {
  GUID g = {};
  ::CoCreateGuid(&g);
  WideString s = u"{";
  s += IntToHex(g.Data1, 8);
  s += u'-';
  s += IntToHex(g.Data2, 4);
  s += u'-';
  s += IntToHex(g.Data3, 4);
  s += u'-';
  for (int i = 0; i < 8; ++i) {
    if (i == 2) s += u'-';
    s += IntToHex(g.Data4[i], 2);
  }
  s += u'}';
  return s;
}
