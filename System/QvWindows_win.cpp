// The operating-system groups of the utility unit on Win32: files and their
// times, shell folders, Windows versions, child processes, the shell and
// message boxes, and the process's standard handles.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <type_traits>
#include <vector>

#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"

namespace {


WideString FromW(const wchar_t* s, size_t n) { return WideString(reinterpret_cast<const char16_t*>(s), n); }

// A process and its main thread, both closed whatever way the caller leaves.
struct TChild {
  THandle Process;
  THandle Thread;
  explicit TChild(const PROCESS_INFORMATION& pi) : Process(pi.hProcess), Thread(pi.hThread) {}
};

// ---- Windows version --------------------------------------------------------

// GetVersionEx reports 6.2 to a program that its manifest does not declare
// for the newer systems; RtlGetVersion tells the truth either way.
struct TOsVersion {
  DWORD Platform = 0;
  DWORD Major = 0;
  DWORD Minor = 0;
  DWORD Build = 0;
};

TOsVersion ReadOsVersion() {
  TOsVersion v;
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
    // Through void(*)() so that the compiler accepts the change of signature.
    auto fn = reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (fn && fn(&info) == 0) {
      v.Platform = info.dwPlatformId;
      v.Major = info.dwMajorVersion;
      v.Minor = info.dwMinorVersion;
      v.Build = info.dwBuildNumber;
    }
  }
  return v;
}

// The version does not change while the process runs.
const TOsVersion& OsVersion() {
  static const TOsVersion v = ReadOsVersion();
  return v;
}

bool IsNtAbove(DWORD major, DWORD minor) {
  const TOsVersion& v = OsVersion();
  return v.Platform == VER_PLATFORM_WIN32_NT && (v.Major > major || (v.Major == major && v.Minor > minor));
}

// ---- file times ---------------------------------------------------------------

bool IsNoTime(TDateTime t) { return std::fabs(t) < 1e-12; }

// A local date-time as the UTC file time that SetFileTime wants.
bool ToUtcFileTime(TDateTime t, FILETIME& utc) {
  const SYSTEMTIME st = DateTimeToSystemTime(t);
  FILETIME local;
  return ::SystemTimeToFileTime(&st, &local) && ::LocalFileTimeToFileTime(&local, &utc);
}

// ---- the console relay ----------------------------------------------------------

// Hands what the pipe holds now, at most one buffer, to standard output.
// The last byte of each piece is left out: a line's end arrives there, and
// WriteStdOut ends the text with its own. Returns whether anything was read.
bool RelayPipe(HANDLE readEnd) {
  char buf[1024];
  DWORD available = 0;
  if (!::PeekNamedPipe(readEnd, buf, sizeof buf, nullptr, &available, nullptr) || available == 0) return false;
  DWORD got = 0;
  if (!::ReadFile(readEnd, buf, available < sizeof buf ? available : sizeof buf, &got, nullptr) || got == 0)
    return false;
  // The bytes go on exactly as the program wrote them. Cutting each piece's
  // last byte and ending it with a line break would lose a character and
  // break a line wherever the pipe happened to split the output.
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(out, buf, got, &written, nullptr);
  }
  return true;
}

// ---- ending processes -------------------------------------------------------

// The path with its parts in long form as far as they exist: a program
// started through a short name ("C:\PROGRA~2\TOOL~1\APP~1.EXE") reports
// that name, and a file the installer has not written yet has only its
// folder to resolve. Not limited to MAX_PATH.
WideString LongFormOf(const WideString& path) {
  const WideString p = StringReplace(path, u"/", u"\\");
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetLongPathNameW(W(p), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) break;
    if (n < buf.size()) return FromW(buf.data(), n);
    buf.resize(n);
  }
  const WideString folder = ExtractFilePath(p);
  if (folder.empty() || folder == p) return p;
  return IncludeTrailingBackslash(LongFormOf(ExcludeTrailingBackslash(folder))) + ExtractFileName(p);
}

// The executable of an open process in Win32 form; empty when the system
// does not tell.
WideString ImagePathOf(HANDLE process) {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = static_cast<DWORD>(buf.size());
    if (::QueryFullProcessImageNameW(process, 0, buf.data(), &n)) return FromW(buf.data(), n);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || buf.size() >= 32768) return WideString();
    buf.resize(buf.size() * 4);
  }
}

bool SamePath(const WideString& a, const WideString& b) {
  return ::CompareStringOrdinal(W(a), static_cast<int>(a.size()), W(b), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

void WriteTo(DWORD which, const WideString& text) {
  const HANDLE h = ::GetStdHandle(which);
  if (!h || h == INVALID_HANDLE_VALUE) return;
  const RawByteString bytes = WideToAnsi(text) + "\r\n";
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

// ---- TQvFilefn ----------------------------------------------------------------

void TQvFilefn::ForceFileDir(const WideString& path) {
  const WideString folder = ExtractFilePath(path);
  if (folder.empty() || DirectoryExists(folder)) return;
  if (!ForceDirectories(folder)) {
    const int error = static_cast<int>(::GetLastError());
    throw EInOutError(Format(u"Unable to create directory \"%s\": %s", {folder, SysErrorMessage(error)}));
  }
}

WideString TQvFilefn::LongPathName(const WideString& path) {
  wchar_t buf[MAX_PATH];
  const DWORD n = ::GetLongPathNameW(W(path), buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return WideString();
  return FromW(buf, n);
}

namespace {

// The non-zero times on an open file; a time that cannot be converted is
// passed as none, as a zero is.
bool SetHandleTimes(HANDLE file, const TFileTimes& times) {
  FILETIME creation, access, write;
  const FILETIME* c = !IsNoTime(times.CreationTime) && ToUtcFileTime(times.CreationTime, creation) ? &creation : nullptr;
  const FILETIME* a = !IsNoTime(times.LastAccessTime) && ToUtcFileTime(times.LastAccessTime, access) ? &access : nullptr;
  const FILETIME* w = !IsNoTime(times.LastWriteTime) && ToUtcFileTime(times.LastWriteTime, write) ? &write : nullptr;
  if (!c && !a && !w) return true;
  return ::SetFileTime(file, c, a, w) != 0;
}

}  // namespace

bool TQvFilefn::SetFileTimes(const WideString& path, const TFileTimes& times) {
  THandle file = Owned(::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  return SetHandleTimes(file.get(), times);
}

WideString TQvFilefn::ReplacingName(const WideString& path) { return path + u".~setup"; }

namespace {

// Writes all of data to an open file and sets its times on the same
// handle; raises EWriteError naming path for what failed.
void WriteAllWithTimes(HANDLE file, const WideString& path, const char* data, int64_t size, const TFileTimes& times) {
  while (size > 0) {
    const DWORD chunk = size > (1 << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, nullptr))
      throw EWriteError(Format(u"Cannot write file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
    // A full disk may first show as a write that took only part of the
    // bytes, and succeeded; the next one that takes none says why.
    if (written == 0)
      throw EWriteError(Format(u"Cannot write file \"%s\". %s", {path, SysErrorMessage(ERROR_DISK_FULL)}));
    data += written;
    size -= written;
  }
  if (!SetHandleTimes(file, times))
    throw EWriteError(Format(u"Cannot set the times of file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
}

// A file that this run makes and removes again unless told to keep it.
struct TMadeFile {
  const WideString& Path;
  bool Keep = false;
  ~TMadeFile() {
    if (!Keep) ::DeleteFileW(W(Path));
  }
};

}  // namespace

void TQvFilefn::ReplaceWhole(const WideString& path, const char* data, int64_t size, const TFileTimes& times) {
  // Where no file has the name yet there is nothing to keep whole: the
  // file is made under its own name (CREATE_NEW never opens one that
  // appeared meanwhile), which spares the temporary name's extra
  // look-up and rename, the better half of a new file's cost under Wine.
  // A failure removes what was made; a run killed during the write leaves
  // a short file that the next run replaces like any previous one.
  {
    const THandle file = Owned(::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      TMadeFile made{path};
      WriteAllWithTimes(file.get(), path, data, size, times);
      made.Keep = true;
      return;
    }
    // Any other refusal (a file of that name, no access, a missing
    // folder) is met and reported by the way through a temporary file.
  }
  const WideString temp = ReplacingName(path);
  // Whatever ends this function early takes the temporary file with it;
  // the target has not been touched until the final move.
  TMadeFile guard{temp};
  {
    // CREATE_ALWAYS also takes over a temporary file that a killed run
    // left behind.
    const THandle file = Owned(::CreateFileW(W(temp), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      // Nothing was made; a file of that name that another program holds
      // is not ours to delete.
      guard.Keep = true;
      throw EFCreateError(Format(u"Cannot create file \"%s\". %s", {temp, SysErrorMessage(GetLastOSError())}));
    }
    WriteAllWithTimes(file.get(), path, data, size, times);
    // The data must be on the disk before the name points at it, or a
    // crash right after the move could leave the name on no data and the
    // previous bytes gone.
    if (::GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES && !::FlushFileBuffers(file.get()))
      throw EWriteError(Format(u"Cannot write file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
  }
  if (!::MoveFileExW(W(temp), W(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    throw EInOutError(Format(u"Cannot replace file \"%s\". %s", {path, SysErrorMessage(GetLastOSError())}));
  guard.Keep = true;
}

TDateTime TQvFilefn::Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return SystemTimeToDateTime(st);
}

// ---- TQvRegfn -----------------------------------------------------------------

WideString TQvRegfn::GetSpecialFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  if (::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf) != S_OK) return WideString();
  return IncludeTrailingBackslash(FromW(buf, ::wcsnlen(buf, MAX_PATH)));
}

// ---- TQvWinfn -----------------------------------------------------------------

bool TQvWinfn::IsWinXPOrHigher() { return IsNtAbove(5, 0); }
bool TQvWinfn::IsWin7OrHigher() { return IsNtAbove(6, 0); }
bool TQvWinfn::IsWin10OrHigher() { return IsNtAbove(6, 3); }

WideString TQvWinfn::GetTempDir() {
  wchar_t buf[MAX_PATH];
  const DWORD n = ::GetTempPathW(MAX_PATH, buf);
  const WideString temp = (n == 0 || n > MAX_PATH) ? WideString() : FromW(buf, n);
  return IncludeTrailingBackslash(TQvFilefn::LongPathName(temp));
}

WideString TQvWinfn::SystemDescription() {
  const TOsVersion& v = OsVersion();
  BOOL wow64 = FALSE;
  ::IsWow64Process(::GetCurrentProcess(), &wow64);
  const bool system64 = wow64 || sizeof(void*) == 8;
  wchar_t language[LOCALE_NAME_MAX_LENGTH] = {};
  if (::GetUserDefaultLocaleName(language, LOCALE_NAME_MAX_LENGTH) <= 0) language[0] = 0;
  wchar_t ui[LOCALE_NAME_MAX_LENGTH] = {};
  if (::LCIDToLocaleName(MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT), ui, LOCALE_NAME_MAX_LENGTH, 0) <= 0)
    ui[0] = 0;
  return Format(u"Windows %u.%u.%u, %s, user locale %s, display language %s",
                {static_cast<unsigned>(v.Major), static_cast<unsigned>(v.Minor), static_cast<unsigned>(v.Build),
                 system64 ? u"64-bit" : u"32-bit", FromW(language, ::wcsnlen(language, LOCALE_NAME_MAX_LENGTH)),
                 FromW(ui, ::wcsnlen(ui, LOCALE_NAME_MAX_LENGTH))});
}

WideString TQvWinfn::UserLanguageAbbrev() {
  wchar_t buf[16] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, buf, 16) <= 0) return WideString();
  return FromW(buf, ::wcsnlen(buf, 16));
}

uint32_t TQvWinfn::RunAndWait(const WideString& commandLine, const WideString& directory) {
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(0);
  PROCESS_INFORMATION pi = {};
  const bool inFolder = !directory.empty() && DirectoryExists(directory);
  if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS,
                        nullptr, inFolder ? W(directory) : nullptr, &si, &pi))
    return 1;
  const TChild child(pi);
  ::WaitForSingleObject(child.Process.get(), INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(child.Process.get(), &code);
  return code;
}

uint32_t TQvWinfn::RunConsole(const WideString& commandLine) {
  SECURITY_ATTRIBUTES sa = {};
  sa.nLength = sizeof(sa);
  sa.bInheritHandle = TRUE;
  HANDLE r = nullptr, w = nullptr;
  if (!::CreatePipe(&r, &w, &sa, 0)) return 1;
  const THandle readEnd(r), writeEnd(w);

  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.wShowWindow = SW_HIDE;
  si.hStdInput = nullptr;
  si.hStdOutput = w;
  si.hStdError = w;
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(0);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &si,
                        &pi))
    return 1;
  const TChild child(pi);

  // Reading while the child runs keeps a chatty one from blocking on a full
  // pipe.
  DWORD waited;
  do {
    waited = ::WaitForSingleObject(child.Process.get(), 300);
    RelayPipe(r);
  } while (waited == WAIT_TIMEOUT);
  // What the child wrote just before it ended is still in the pipe; this
  // process holds the write end too, so the pipe never reports its end and
  // is read only as far as it has data.
  while (RelayPipe(r)) {
  }

  DWORD code = 1;
  ::GetExitCodeProcess(child.Process.get(), &code);
  return code;
}

int TQvWinfn::EndProcessesByPath(const std::vector<WideString>& paths, uint32_t waitMs) {
  // A program runs from a file that is there. Where none of the files is
  // (a first installation), no process can be running one of them, and
  // the processes are not looked at: opening and asking each costs about
  // a millisecond under Wine. A file that cannot be looked at counts as
  // there.
  std::vector<WideString> wanted;
  for (const WideString& path : paths) {
    const WideString p = StringReplace(path, u"/", u"\\");
    if (::GetFileAttributesW(W(p)) == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
    }
    wanted.push_back(LongFormOf(p));
  }
  if (wanted.empty()) return 0;
  // The long form of a process's file is looked up only where it may be
  // one of them: its name is one of theirs, or a short name (with a tilde)
  // on either side may hide one.
  const auto mayBeOurs = [&wanted](const WideString& image) {
    if (image.find(u'~') != WideString::npos) return true;
    const WideString name = ExtractFileName(image);
    for (const WideString& w : wanted) {
      const WideString wantedName = ExtractFileName(w);
      if (SameText(wantedName, name) || wantedName.find(u'~') != WideString::npos) return true;
    }
    return false;
  };
  const THandle snapshot = Owned(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  const DWORD self = ::GetCurrentProcessId();
  // Matched by the file each process runs from, not by its name: a program
  // of the same name in another folder belongs to somebody else. The
  // process is ended through the handle whose file was checked, so a
  // process id reused in between cannot end the wrong process.
  std::vector<THandle> ending;
  std::vector<DWORD> seen;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0 || entry.th32ProcessID == self) continue;
    // A process that the snapshot lists twice is ended and counted once.
    if (std::find(seen.begin(), seen.end(), entry.th32ProcessID) != seen.end()) continue;
    seen.push_back(entry.th32ProcessID);
    THandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (!process) continue;
    const WideString image = ImagePathOf(process.get());
    if (image.empty() || !mayBeOurs(image)) continue;
    const WideString longImage = LongFormOf(image);
    bool ours = false;
    for (const WideString& w : wanted) ours = ours || SamePath(longImage, w);
    if (ours && ::TerminateProcess(process.get(), 1)) ending.push_back(std::move(process));
  }
  // All were told to end at once; one deadline for all of them.
  const DWORD start = ::GetTickCount();
  int ended = 0;
  for (const THandle& process : ending) {
    const DWORD spent = ::GetTickCount() - start;
    if (::WaitForSingleObject(process.get(), spent < waitMs ? waitMs - spent : 0) == WAIT_OBJECT_0) ++ended;
  }
  return ended;
}

intptr_t TQvWinfn::ShellExec(void* ownerWnd, const WideString& verb, const WideString& fileName,
                             const WideString& params, const WideString& directory, int showCmd, bool handOver) {
  const HINSTANCE result = ::ShellExecuteW(static_cast<HWND>(ownerWnd), WOrNull(verb), W(fileName), WOrNull(params),
                                           WOrNull(directory), showCmd);
  if (handOver) {
    // The program needs a moment to appear in the process list; after that
    // it may bring its window to the front although the user last clicked
    // ours.
    ::Sleep(300);
    const WideString exeName = ExtractFileName(fileName);
    THandle snapshot = Owned(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot) {
      PROCESSENTRY32W entry = {};
      entry.dwSize = sizeof(entry);
      for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, W(exeName), static_cast<int>(exeName.size()), TRUE) ==
            CSTR_EQUAL) {
          ::AllowSetForegroundWindow(entry.th32ProcessID);
          break;
        }
      }
    }
  }
  return reinterpret_cast<intptr_t>(result);
}

intptr_t TQvWinfn::ShellOpen(const WideString& fileOrUrl) {
  return ShellExec(nullptr, u"", fileOrUrl, u"", u"", SW_SHOW, false);
}

void TQvWinfn::OpenUrl(const WideString& url) {
  // Without a registered browser the shell cannot open the URL; the
  // system's own browser is the last resort.
  if (ShellOpen(url) <= 32) ShellExec(nullptr, u"", u"iexplore.exe", url, u"", SW_SHOW, false);
}

int TQvWinfn::MessageBox(void* ownerWnd, const WideString& text, unsigned flags, const WideString& caption) {
  TQvRunLog::Line(u"Message: %s", {text});
  const int answer = ::MessageBoxW(static_cast<HWND>(ownerWnd), W(text), W(caption), flags);
  const char16_t* name = answer == IDYES ? u"Yes" : answer == IDNO ? u"No" : answer == IDOK ? u"OK"
                       : answer == IDCANCEL ? u"Cancel" : answer == IDRETRY ? u"Retry" : answer == IDIGNORE ? u"Ignore"
                       : answer == IDABORT ? u"Abort" : u"none";
  if ((flags & MB_TYPEMASK) != MB_OK) TQvRunLog::Line(u"Answer: %s", {name});
  return answer;
}

int TQvWinfn::ShowInformation(void* ownerWnd, const WideString& text, const WideString& caption) {
  return MessageBox(ownerWnd, text, MB_OK | MB_ICONINFORMATION, caption);
}

// ---- TQvSysWinfn --------------------------------------------------------------

bool TQvSysWinfn::IsDebugging() { return ::IsDebuggerPresent() != 0; }

bool TQvSysWinfn::RestrictLibrarySearch() {
  // Resolved at run time: older systems lack the call, and kernel32 is
  // mapped into every process before its first instruction.
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  bool restricted = false;
  if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
    auto fn = reinterpret_cast<TSetDefaultDllDirectories>(
        reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (fn != nullptr) restricted = fn(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */) != 0;
  }
  const bool noWorkingFolder = ::SetDllDirectoryW(L"") != 0;
  // What the window layer and the shell make the system load: themes, the
  // compositor, image codecs, property stores, file versions. A name the
  // system lacks is skipped.
  const WideString system = SystemFolder();
  for (const char16_t* name : {u"uxtheme.dll", u"dwmapi.dll", u"windowscodecs.dll", u"propsys.dll", u"version.dll",
                               u"cryptbase.dll", u"profapi.dll"})
    ::LoadLibraryExW(W(system + name), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return restricted || noWorkingFolder;
}

WideString TQvSysWinfn::SystemFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = ::GetSystemDirectoryW(buffer, MAX_PATH + 1);
  // The call cannot fail on a working system; a program path built from an
  // empty folder would be searched for, so there is a fixed answer.
  if (n == 0 || n > MAX_PATH) return u"C:\\Windows\\System32\\";
  WideString folder(reinterpret_cast<const char16_t*>(buffer), n);
  if (folder.back() != u'\\') folder += u'\\';
  return folder;
}

void TQvSysWinfn::WriteStdOut(const WideString& text) { WriteTo(STD_OUTPUT_HANDLE, text); }

void TQvSysWinfn::WriteStdErr(const WideString& text) {
  TQvRunLog::Line(u"Message: %s", {text});
  WriteTo(STD_ERROR_HANDLE, text);
}
