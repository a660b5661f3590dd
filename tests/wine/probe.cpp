// probe.exe: stands in for a product's program. Each start appends one line
// to the file named by PROBE_LOG (and prints it):
//   name=<own file name>|time=<UTC FILETIME>|cwd=<current folder>|cmdline=<command line>
// so a test sees which copy ran, when, where and with what arguments. The
// command line comes last, verbatim; before it, on request:
//   exists=0|1   whether the file named by PROBE_CHECK existed at the start
//   windows=<title>;<title>...  the visible top-level windows (PROBE_WINDOWS=1),
//                so a test sees what was on the screen while the program ran
//   --stay    keeps running until killed (for tests of ending running copies)
//   --exit N  exits with code N
// Tests copy the same binary under other names (app.exe, Uninstall.exe ...).
#include "WineTool.h"

namespace {

WideString OwnFileName() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) wt::FailLastError(u"GetModuleFileNameW");
    if (n < buf.size()) {
      const WideString path = wt::FromW(buf.data(), n);
      const size_t slash = path.find_last_of(u"\\/");
      return slash == WideString::npos ? path : path.substr(slash + 1);
    }
    buf.resize(buf.size() * 2);
  }
}

WideString CurrentDir() {
  const DWORD n = ::GetCurrentDirectoryW(0, nullptr);
  std::vector<wchar_t> buf(n + 1);
  const DWORD got = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
  if (got == 0 || got >= buf.size()) wt::FailLastError(u"GetCurrentDirectoryW");
  return wt::FromW(buf.data(), got);
}

BOOL CALLBACK AddTitle(HWND w, LPARAM titles) {
  if (!::IsWindowVisible(w)) return TRUE;
  wchar_t buf[512] = {};
  const int n = ::InternalGetWindowText(w, buf, 512);
  if (n <= 0) return TRUE;
  auto& all = *reinterpret_cast<WideString*>(titles);
  if (!all.empty()) all += u';';
  all += wt::FromW(buf, static_cast<size_t>(n));
  return TRUE;
}

bool Env(const wchar_t* name, WideString& value) {
  const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return false;
  std::vector<wchar_t> buf(n);
  const DWORD got = ::GetEnvironmentVariableW(name, buf.data(), n);
  value = wt::FromW(buf.data(), got);
  return true;
}

// Several copies may start at once (an installer that runs two programs), so
// the log is opened for appending with sharing, and a line goes out in one
// write. Someone holding the file without sharing gets a few seconds.
void AppendLine(const WideString& logName, const std::string& line) {
  const WideString path = wt::WinPath(logName);
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 50; ++attempt) {
    h = ::CreateFileW(wt::W(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION) break;
    ::Sleep(100);
  }
  wt::Handle file(h);
  if (!file.Valid()) wt::FailLastError(u"cannot open PROBE_LOG " + path);
  DWORD written = 0;
  if (!::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
      written != line.size())
    wt::FailLastError(u"cannot write PROBE_LOG " + path);
  if (!file.Close()) wt::FailLastError(u"cannot close PROBE_LOG " + path);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("probe", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    bool stay = false;
    int exitCode = 0;
    for (size_t i = 0; i < args.size(); ++i) {
      if (args[i] == u"--stay") {
        stay = true;
      } else if (args[i] == u"--exit" && i + 1 < args.size()) {
        exitCode = _wtoi(wt::W(args[++i]));
      }
      // Anything else is an argument that the caller passes to the
      // product's program; it only goes into the log.
    }

    FILETIME now = {};
    ::GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    WideString line = u"name=" + OwnFileName() + u"|time=" + wt::ToWide(ticks) + u"|cwd=" + CurrentDir();
    WideString check, windows;
    if (Env(L"PROBE_CHECK", check) && !check.empty())
      line += ::GetFileAttributesW(wt::W(wt::WinPath(check))) != INVALID_FILE_ATTRIBUTES ? u"|exists=1" : u"|exists=0";
    if (Env(L"PROBE_WINDOWS", windows) && !windows.empty() && windows != u"0") {
      WideString titles;
      ::EnumWindows(AddTitle, reinterpret_cast<LPARAM>(&titles));
      line += u"|windows=" + titles;
    }
    line += u"|cmdline=" + wt::FromW(::GetCommandLineW());
    WideString logName;
    if (Env(L"PROBE_LOG", logName) && !logName.empty()) AppendLine(logName, wt::ToUtf8(line) + "\n");
    wt::OutLine(line);

    while (stay) ::Sleep(1000);
    return exitCode;
  });
}
