// fileinfo.exe FILE: a file's size and times as Windows shows them, in
// local time:
//   size=<bytes>  created=<yyyy-mm-dd hh:nn:ss>  written=<...>  attributes=<hex>
// The installer stamps installed files with the package's times; this is
// how a test reads them back the way a user's Explorer would.
// fileinfo.exe --folder NAME: a shell folder as a program of this build's
// bitness sees it (a 32-bit one gets "Program Files (x86)"): ProgramFiles,
// Programs, CommonPrograms, Desktop, CommonDesktop, AppData, CommonAppData,
// Windows, System.
// fileinfo.exe --rights PATH: the owner and access list of a file or
// folder in their text form, as a program reads them back.
#include <shlobj.h>
#include <aclapi.h>
#include <sddl.h>

#include "WineTool.h"

namespace {

WideString Two(unsigned v) { return (v < 10 ? u"0" : u"") + wt::ToWide(v); }

WideString LocalText(const FILETIME& utc, const char16_t* what) {
  FILETIME local = {};
  SYSTEMTIME st = {};
  if (!::FileTimeToLocalFileTime(&utc, &local)) wt::FailLastError(WideString(u"FileTimeToLocalFileTime of ") + what);
  if (!::FileTimeToSystemTime(&local, &st)) wt::FailLastError(WideString(u"FileTimeToSystemTime of ") + what);
  return wt::ToWide(st.wYear) + u"-" + Two(st.wMonth) + u"-" + Two(st.wDay) + u" " + Two(st.wHour) + u":" +
         Two(st.wMinute) + u":" + Two(st.wSecond);
}

void ShowFolder(const WideString& name) {
  struct Known { const char16_t* name; int csidl; };
  static const Known known[] = {
      {u"ProgramFiles", CSIDL_PROGRAM_FILES}, {u"Programs", CSIDL_PROGRAMS},
      {u"CommonPrograms", CSIDL_COMMON_PROGRAMS}, {u"Desktop", CSIDL_DESKTOPDIRECTORY},
      {u"CommonDesktop", CSIDL_COMMON_DESKTOPDIRECTORY}, {u"AppData", CSIDL_APPDATA},
      {u"CommonAppData", CSIDL_COMMON_APPDATA}, {u"Documents", CSIDL_PERSONAL}, {u"Windows", CSIDL_WINDOWS}, {u"System", CSIDL_SYSTEM}};
  for (const Known& k : known) {
    if (name != k.name) continue;
    wchar_t path[MAX_PATH] = {};
    const HRESULT hr = ::SHGetFolderPathW(nullptr, k.csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(hr)) wt::FailHr(u"SHGetFolderPathW " + name, hr);
    wt::OutLine(wt::FromW(path));
    return;
  }
  throw EOSError(u"unknown folder \"" + name + u"\"");
}

void ShowRights(const WideString& path) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD rc = ::GetNamedSecurityInfoW(wt::W(path), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                           nullptr, nullptr, &sd);
  if (rc != ERROR_SUCCESS) {
    ::SetLastError(rc);
    wt::FailLastError(u"GetNamedSecurityInfoW " + path);
  }
  wchar_t* text = nullptr;
  const BOOL ok = ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
      sd, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr);
  ::LocalFree(sd);
  if (!ok) wt::FailLastError(u"ConvertSecurityDescriptorToStringSecurityDescriptorW " + path);
  wt::OutLine(wt::FromW(text));
  ::LocalFree(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("fileinfo", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() == 2 && args[0] == u"--folder") {
      ShowFolder(args[1]);
      return 0;
    }
    if (args.size() == 2 && args[0] == u"--rights") {
      ShowRights(wt::WinPath(args[1]));
      return 0;
    }
    if (args.size() != 1)
      throw wt::UsageError{u"fileinfo.exe FILE | fileinfo.exe --folder NAME | fileinfo.exe --rights PATH"};
    const WideString path = wt::WinPath(args[0]);
    // Reading times needs no access to the content, so even a file that
    // someone holds without sharing can be examined.
    wt::Handle file(::CreateFileW(wt::W(path), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) wt::FailLastError(u"cannot open " + path);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!::GetFileInformationByHandle(file.Get(), &info)) wt::FailLastError(u"GetFileInformationByHandle " + path);
    FILETIME created = {}, accessed = {}, written = {};
    if (!::GetFileTime(file.Get(), &created, &accessed, &written)) wt::FailLastError(u"GetFileTime " + path);
    const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    wt::OutLine(u"size=" + wt::ToWide(size));
    wt::OutLine(u"created=" + LocalText(created, u"the creation time"));
    wt::OutLine(u"written=" + LocalText(written, u"the last write time"));
    wt::OutLine(u"attributes=" + wt::Hex(info.dwFileAttributes));
    return 0;
  });
}
