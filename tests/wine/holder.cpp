// holder.exe FILE RELEASEFILE: keeps FILE open without sharing until
// RELEASEFILE exists, so that another program's attempt to write FILE fails
// with a sharing violation. Under Wine as root this is the one dependable
// way to make a file unwritable, and it is what users meet most: a file in
// use. Prints "holding" once the file is held.
// holder.exe --share-read FILE RELEASEFILE: the same, but others may still
// read FILE; writing, renaming and deleting it fail.
// holder.exe --write FILE TEXT: writes TEXT (UTF-8) into FILE the way a
// program that shares everything would, so that only a holder's refusal to
// share can make it fail.
#include "WineTool.h"

namespace {

bool Exists(const WideString& path) { return ::GetFileAttributesW(wt::W(path)) != INVALID_FILE_ATTRIBUTES; }

void Write(const WideString& file, const WideString& text) {
  wt::Handle h(::CreateFileW(wt::W(file), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Valid()) wt::FailLastError(u"cannot open " + file + u" for writing");
  const std::string bytes = wt::ToUtf8(text);
  DWORD written = 0;
  if (!::WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    wt::FailLastError(u"cannot write " + file);
  if (!h.Close()) wt::FailLastError(u"cannot close " + file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("holder", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() == 3 && args[0] == u"--write") {
      Write(wt::WinPath(args[1]), args[2]);
      return 0;
    }
    const bool shareRead = args.size() == 3 && args[0] == u"--share-read";
    if (args.size() != 2 && !shareRead)
      throw wt::UsageError{u"holder.exe [--share-read] FILE RELEASEFILE | holder.exe --write FILE TEXT"};
    const WideString file = wt::WinPath(args[shareRead ? 1 : 0]);
    const WideString release = wt::WinPath(args[shareRead ? 2 : 1]);

    // Read access alone when reading is shared: a reader that shares only
    // reading could not open the file beside a writer.
    wt::Handle held(::CreateFileW(wt::W(file), shareRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                                  shareRead ? FILE_SHARE_READ : 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
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
