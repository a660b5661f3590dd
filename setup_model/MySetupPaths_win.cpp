// The Windows folder values behind {pf}, {desktop} and {group}.
#include "MySetupUtils.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

// This runs from a static initializer, before other units are guaranteed to
// be set up, so it talks to Win32 directly instead of through the string
// routines.

WideString AnsiEnvironmentVariable(const char* name) {
  const DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
  if (needed == 0) return WideString();
  std::vector<char> narrow(needed);
  const DWORD length = GetEnvironmentVariableA(name, narrow.data(), needed);
  if (length == 0 || length >= needed) return WideString();
  const int wideLength = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(length), nullptr, 0);
  if (wideLength <= 0) return WideString();
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(length), &wide[0], wideLength);
  return WideString(wide.begin(), wide.end());
}

// The shell folder with a trailing backslash, or empty when the shell
// cannot give it.
WideString ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return WideString();
  WideString result(path, path + wcslen(path));
  if (result.empty() || result.back() != u'\\') result.push_back(u'\\');
  return result;
}

}  // namespace

void TSetupfn::InitFolders() {
  ProgramFilesDir = AnsiEnvironmentVariable("ProgramFiles");
  if (!ProgramFilesDir.empty() && ProgramFilesDir.back() == u'\\') ProgramFilesDir.pop_back();
  DesktopDir = ShellFolder(CSIDL_DESKTOP);
  CommonProgramsDir = ShellFolder(CSIDL_COMMON_PROGRAMS);
  // "{group}" must still end in a folder separator when the menu is unknown.
  if (CommonProgramsDir.empty()) CommonProgramsDir = u"\\";
}
