// fileinfo.exe FILE: a file's size and times as Windows shows them, in
// local time:
//   size=<bytes>  created=<yyyy-mm-dd hh:nn:ss>  written=<...>  attributes=<hex>
// The installer stamps installed files with the package's times; this is
// how a test reads them back the way a user's Explorer would.
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("fileinfo", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() != 1) throw wt::UsageError{u"fileinfo.exe FILE"};
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
