// The Windows side of the folder rule: which folders the system and the
// user's shell own on this machine, and the one form of a typed folder.
#include "FolderRules.h"

#include <windows.h>
#include <shlobj.h>

#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"

namespace {

WideString EnvironmentFolder(const wchar_t* name) {
  wchar_t buf[MAX_PATH + 1] = {};
  const DWORD n = GetEnvironmentVariableW(name, buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? WideString(reinterpret_cast<const char16_t*>(buf), n) : WideString();
}

WideString SystemFolder(UINT(WINAPI* get)(LPWSTR, UINT)) {
  wchar_t buf[MAX_PATH + 1] = {};
  const UINT n = get(buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? WideString(reinterpret_cast<const char16_t*>(buf), n) : WideString();
}

// The folders and the long form of each: a short 8.3 spelling of any of
// them must not slip past. The same folder comes from several sources
// and is looked up once. Only a spelling with a tilde is looked up at all:
// the system makes a short name from a long one as its first letters, a
// tilde and a number, so a spelling without one is the long form already
// (each look-up costs most of a millisecond under Wine, and there are
// fifty folders).
std::vector<WideString> WithLongForms(std::vector<WideString> folders) {
  std::vector<WideString> out;
  out.reserve(folders.size());
  for (WideString& folder : folders) {
    if (folder.empty()) continue;
    bool seen = false;
    for (const WideString& o : out) seen = seen || SameText(o, folder);
    if (!seen) out.push_back(std::move(folder));
  }
  const size_t given = out.size();
  for (size_t i = 0; i < given; ++i) {
    if (out[i].find(u'~') == WideString::npos) continue;
    const WideString longForm = TQvFilefn::LongPathName(out[i]);
    if (!longForm.empty()) out.push_back(longForm);
  }
  return out;
}

}  // namespace

std::vector<WideString> SharedSystemFolders() {
  std::vector<WideString> folders = {
      SystemFolder(GetWindowsDirectoryW),
      SystemFolder(GetSystemDirectoryW),
      SystemFolder(GetSystemWow64DirectoryW),
      EnvironmentFolder(L"SystemRoot"),
      EnvironmentFolder(L"ProgramFiles"),
      EnvironmentFolder(L"ProgramFiles(x86)"),
      EnvironmentFolder(L"ProgramW6432"),
      EnvironmentFolder(L"CommonProgramFiles"),
      EnvironmentFolder(L"CommonProgramFiles(x86)"),
      EnvironmentFolder(L"CommonProgramW6432"),
      EnvironmentFolder(L"USERPROFILE"),
      EnvironmentFolder(L"ALLUSERSPROFILE"),
      EnvironmentFolder(L"ProgramData"),
      EnvironmentFolder(L"PUBLIC"),
      EnvironmentFolder(L"APPDATA"),
      EnvironmentFolder(L"LOCALAPPDATA"),
      TQvWinfn::GetTempDir(),
  };
  // Each shell folder of the user and of all users that holds other
  // programs' files, or the user's own.
  for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_FONTS, CSIDL_PROGRAM_FILES,
                    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_PROFILE,
                    CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS,
                    CSIDL_MYMUSIC, CSIDL_COMMON_MUSIC, CSIDL_MYPICTURES, CSIDL_COMMON_PICTURES, CSIDL_MYVIDEO,
                    CSIDL_COMMON_VIDEO, CSIDL_FAVORITES, CSIDL_COMMON_FAVORITES, CSIDL_TEMPLATES,
                    CSIDL_COMMON_TEMPLATES, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA,
                    CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTUP,
                    CSIDL_COMMON_STARTUP, CSIDL_ADMINTOOLS, CSIDL_COMMON_ADMINTOOLS})
    folders.push_back(TQvRegfn::GetSpecialFolder(csidl));
  // The folder of all profiles ("C:\Users") as well as the user's own, and
  // the public profile's.
  for (const WideString& profile : {TQvRegfn::GetSpecialFolder(CSIDL_PROFILE), EnvironmentFolder(L"PUBLIC")}) {
    const WideString p = ExcludeTrailingBackslash(profile);
    if (!p.empty()) folders.push_back(ExtractFilePath(p));
  }
  return WithLongForms(std::move(folders));
}

std::vector<WideString> ProgramFilesFolders() {
  std::vector<WideString> folders = {
      EnvironmentFolder(L"ProgramFiles"), EnvironmentFolder(L"ProgramFiles(x86)"), EnvironmentFolder(L"ProgramW6432"),
      TQvRegfn::GetSpecialFolder(CSIDL_PROGRAM_FILES), TQvRegfn::GetSpecialFolder(CSIDL_PROGRAM_FILESX86)};
  return WithLongForms(std::move(folders));
}

WideString NormalisedFolder(const WideString& folder) {
  wchar_t buf[MAX_PATH + 1] = {};
  LPWSTR filePart = nullptr;
  const DWORD n = GetFullPathNameW(W(folder), MAX_PATH + 1, buf, &filePart);
  if (n == 0 || n > MAX_PATH) return WithOneTrailingBackslash(folder);
  const WideString full = WithOneTrailingBackslash(WideString(reinterpret_cast<const char16_t*>(buf), n));
  // The long form of the deepest part that exists, and the rest as typed:
  // a new folder under "C:\PROGRA~2" is stored under its long name too.
  WideString head = full, tail;
  while (!head.empty()) {
    const WideString longForm = TQvFilefn::LongPathName(head);
    if (!longForm.empty()) return WithOneTrailingBackslash(WithOneTrailingBackslash(longForm) + tail);
    if (PathRootLength(head) >= head.size()) break;
    const WideString parent = ExtractFilePath(ExcludeTrailingBackslash(head));
    if (parent.size() >= head.size()) break;
    tail = head.substr(parent.size()) + tail;
    head = parent;
  }
  return full;
}
