// writelimit.exe SOURCE DEST: writes SOURCE's folders and files again under
// DEST with nothing but CreateDirectoryW, CreateFileW, WriteFile and
// SetFileTime, the least any installer has to do to put those files on the
// disk. bench/bench_install.sh sets its time beside the installers'.
//
// Every file is read into memory first, with its times; only the writing is
// timed, from the first CreateDirectoryW to the last file's CloseHandle:
//   files=<n> folders=<n> bytes=<n> write_seconds=<s.sss>
// DEST itself may exist; what it holds must not (CREATE_NEW: a run never
// silently measures overwriting).
#include <utility>

#include "WineTool.h"

namespace {

struct TSourceFile {
  WideString RelPath;  // from the source folder, "\"-separated
  std::string Data;
  FILETIME Created = {}, Accessed = {}, Written = {};
};

struct TTree {
  std::vector<WideString> Folders;  // parents before their children
  std::vector<TSourceFile> Files;
  unsigned long long Bytes = 0;
};

void ReadWhole(const WideString& path, TSourceFile& file) {
  wt::Handle h(::CreateFileW(wt::W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.Valid()) wt::FailLastError(u"cannot open " + path);
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(h.Get(), &size)) wt::FailLastError(u"GetFileSizeEx " + path);
  if (size.QuadPart > 0x7FFFFFFF) throw EOSError(path + u" is too large to hold in memory here");
  file.Data.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < file.Data.size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(file.Data.size() - done);
    if (!::ReadFile(h.Get(), &file.Data[done], want, &got, nullptr)) wt::FailLastError(u"ReadFile " + path);
    if (got == 0) throw EOSError(path + u" ended early: it changed while being read");
    done += got;
  }
  if (!::GetFileTime(h.Get(), &file.Created, &file.Accessed, &file.Written)) wt::FailLastError(u"GetFileTime " + path);
}

class TFind {
public:
  explicit TFind(HANDLE h) : FHandle(h) {}
  ~TFind() { if (FHandle != INVALID_HANDLE_VALUE) ::FindClose(FHandle); }
  TFind(const TFind&) = delete;
  TFind& operator=(const TFind&) = delete;
  HANDLE Get() const { return FHandle; }

private:
  HANDLE FHandle;
};

void Walk(const WideString& root, const WideString& rel, TTree& tree) {
  const WideString folder = rel.empty() ? root : root + u"\\" + rel;
  WIN32_FIND_DATAW found = {};
  TFind find(::FindFirstFileW(wt::W(folder + u"\\*"), &found));
  if (find.Get() == INVALID_HANDLE_VALUE) wt::FailLastError(u"cannot list " + folder);
  std::vector<WideString> subfolders;
  do {
    const WideString name = wt::FromW(found.cFileName);
    if (name == u"." || name == u"..") continue;
    const WideString childRel = rel.empty() ? name : rel + u"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      subfolders.push_back(childRel);
    } else {
      TSourceFile file;
      file.RelPath = childRel;
      ReadWhole(root + u"\\" + childRel, file);
      tree.Bytes += file.Data.size();
      tree.Files.push_back(std::move(file));
    }
  } while (::FindNextFileW(find.Get(), &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) wt::FailLastError(u"cannot list " + folder);
  for (const WideString& sub : subfolders) {
    tree.Folders.push_back(sub);
    Walk(root, sub, tree);
  }
}

void WriteTree(const TTree& tree, const WideString& dest) {
  if (!::CreateDirectoryW(wt::W(dest), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    wt::FailLastError(u"CreateDirectoryW " + dest);
  for (const WideString& folder : tree.Folders) {
    const WideString path = dest + u"\\" + folder;
    if (!::CreateDirectoryW(wt::W(path), nullptr)) wt::FailLastError(u"CreateDirectoryW " + path);
  }
  for (const TSourceFile& file : tree.Files) {
    const WideString path = dest + u"\\" + file.RelPath;
    wt::Handle h(::CreateFileW(wt::W(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.Valid()) wt::FailLastError(u"cannot create " + path);
    size_t done = 0;
    while (done < file.Data.size()) {
      DWORD wrote = 0;
      const DWORD want = static_cast<DWORD>(file.Data.size() - done);
      if (!::WriteFile(h.Get(), file.Data.data() + done, want, &wrote, nullptr) || wrote == 0)
        wt::FailLastError(u"WriteFile " + path);
      done += wrote;
    }
    if (!::SetFileTime(h.Get(), &file.Created, &file.Accessed, &file.Written)) wt::FailLastError(u"SetFileTime " + path);
    if (!h.Close()) wt::FailLastError(u"CloseHandle " + path);
  }
}

// Seconds with three decimals, without the C runtime's locale.
WideString Seconds(long long ticks, long long frequency) {
  const unsigned long long ms = static_cast<unsigned long long>(ticks * 1000 / frequency);
  WideString frac = wt::ToWide(ms % 1000);
  while (frac.size() < 3) frac.insert(frac.begin(), u'0');
  return wt::ToWide(ms / 1000) + u"." + frac;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  return wt::Run("writelimit", [&]() -> int {
    const auto args = wt::Args(argc, argv);
    if (args.size() != 2) throw wt::UsageError{u"writelimit.exe SOURCE DEST"};
    const WideString source = wt::WinPath(args[0]);
    const WideString dest = wt::WinPath(args[1]);
    TTree tree;
    Walk(source, WideString(), tree);

    LARGE_INTEGER frequency = {}, start = {}, end = {};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    WriteTree(tree, dest);
    ::QueryPerformanceCounter(&end);

    wt::OutLine(u"files=" + wt::ToWide(tree.Files.size()) + u" folders=" + wt::ToWide(tree.Folders.size()) +
                u" bytes=" + wt::ToWide(tree.Bytes) +
                u" write_seconds=" + Seconds(end.QuadPart - start.QuadPart, frequency.QuadPart));
    return 0;
  });
}
