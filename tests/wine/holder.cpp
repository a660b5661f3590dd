// holder.exe FILE RELEASEFILE: keeps FILE open without sharing until
// RELEASEFILE exists, so that another program's attempt to write FILE fails
// with a sharing violation. Under Wine as root this is the one dependable
// way to make a file unwritable, and it is what users meet most: a file in
// use. Prints "holding" once the file is held.
#include "WineTool.h"

namespace {

bool Exists(const WideString& path) { return ::GetFileAttributesW(wt::W(path)) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("holder", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() != 2) throw wt::UsageError{u"holder.exe FILE RELEASEFILE"};
    const WideString file = wt::WinPath(args[0]);
    const WideString release = wt::WinPath(args[1]);

    wt::Handle held(::CreateFileW(wt::W(file), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.Valid()) wt::FailLastError(u"cannot open " + file);
    wt::OutLine(u"holding");

    // A test that dies before releasing must not leave a holder for ever.
    const DWORD limit = 10 * 60 * 1000;
    const DWORD start = ::GetTickCount();
    while (!Exists(release)) {
      if (::GetTickCount() - start > limit) throw EOSError(release + u" did not appear within 10 minutes");
      ::Sleep(100);
    }
    if (!held.Close()) wt::FailLastError(u"cannot close " + file);
    wt::OutLine(u"released");
    return 0;
  });
}
