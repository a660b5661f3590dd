#include "SelfDeletion.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "QvFolderSecurity.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"

namespace {

const char16_t* const kCleanupSwitch = u"/DeleteOriginal";

// What tells the file that ran from a new file under the same name: the
// file's identity on its volume, its size and its two times. An upgrade
// that truncates and rewrites the same file keeps the identity but sets a
// new creation time.
struct TFileIdentity {
  DWORD Fields[9] = {};

  static bool Of(HANDLE file, TFileIdentity& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) return false;
    const DWORD fields[9] = {info.dwVolumeSerialNumber,         info.nFileIndexHigh,
                             info.nFileIndexLow,                info.nFileSizeHigh,
                             info.nFileSizeLow,                 info.ftCreationTime.dwHighDateTime,
                             info.ftCreationTime.dwLowDateTime, info.ftLastWriteTime.dwHighDateTime,
                             info.ftLastWriteTime.dwLowDateTime};
    for (int i = 0; i < 9; ++i) id.Fields[i] = fields[i];
    return true;
  }

  WideString Text() const {
    WideString text;
    for (int i = 0; i < 9; ++i) text += (i ? u"-" : u"") + IntToHex(Fields[i], 8);
    return text;
  }

  static bool Parse(const WideString& text, TFileIdentity& id) {
    if (text.size() != 9 * 9 - 1) return false;
    for (int i = 0; i < 9; ++i) {
      int64_t value = 0;
      if (i > 0 && text[i * 9 - 1] != u'-') return false;
      if (!TryStrToInt64(u"$" + text.substr(static_cast<size_t>(i) * 9, 8), value)) return false;
      id.Fields[i] = static_cast<DWORD>(value);
    }
    return true;
  }

  bool operator==(const TFileIdentity& o) const {
    for (int i = 0; i < 9; ++i)
      if (Fields[i] != o.Fields[i]) return false;
    return true;
  }
};

// The process may take its two handles along and nothing else: a copy that
// held the caller's pipes would keep a waiting installer waiting.
bool CreateWithHandles(const WideString& program, WideString commandLine, const WideString& directory,
                       HANDLE* handles, DWORD count) {
  std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
  command.push_back(L'\0');
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> buffer(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
  STARTUPINFOEXW si = {};
  si.StartupInfo.cb = sizeof si;
  DWORD flags = 0;
  bool listReady = false;
  if (size > 0 && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
    listReady = true;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles, count * sizeof(HANDLE),
                                  nullptr, nullptr)) {
      si.lpAttributeList = list;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
  }
  PROCESS_INFORMATION pi = {};
  const BOOL started = CreateProcessW(W(program), command.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                      W(directory), &si.StartupInfo, &pi);
  if (listReady) DeleteProcThreadAttributeList(list);
  if (!started) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

// The folders of earlier copies. The system deletes a copy when its
// process ends, and the copy's folder is opened for deletion on close as
// well; but where the folder's last handle closes while the running file
// still holds it (Wine), the emptied folder stays: it goes with the next
// removal.
void RemoveEmptiedCopyFolders(const WideString& tempDir) {
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW(W(tempDir + u"~uninst{*}"), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      RemoveDirectoryW(W(tempDir + WideString(reinterpret_cast<const char16_t*>(data.cFileName))));
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

}  // namespace

bool StartCleanupCopy(const WideString& ownPath) {
  TFileIdentity identity;
  {
    const THandle own = Owned(CreateFileW(W(ownPath), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (!own || !TFileIdentity::Of(own.get(), identity)) return false;
  }
  // The copy runs elevated; it lives in a folder of its own that only
  // administrators and SYSTEM can open, so that nobody can swap it or put
  // a library beside it between its writing and its start.
  const WideString tempDir = TQvWinfn::GetTempDir();
  RemoveEmptiedCopyFolders(tempDir);
  const WideString folder = tempDir + u"~uninst" + TQvStrfn::NewGUIDString();
  if (!TQvFolderSecurity::CreatePrivate(folder)) return false;
  const WideString copy = folder + u"\\~uninst.exe";
  if (!CopyFileW(W(ownPath), W(copy), TRUE)) {
    RemoveDirectoryW(W(folder));
    return false;
  }

  SECURITY_ATTRIBUTES inherit = {};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  // Deleted on close of the last handle: this one and the copy's process's
  // inherited one. Reading and deleting stay shared so the loader can open
  // the file to run it.
  const THandle copyFile = Owned(CreateFileW(W(copy), DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit,
                                             OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  // The folder goes the same way, after the file: the process's handles
  // are closed in the order they were made, and an emptied folder is
  // deleted on its last close.
  const THandle folderHandle =
      Owned(CreateFileW(W(folder), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!copyFile || !folderHandle) {
    DeleteFileW(W(copy));
    RemoveDirectoryW(W(folder));
    return false;
  }
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0))
    return false;
  const THandle selfOwner(self);

  const WideString commandLine =
      Format(u"\"%s\" %s %s %s \"%s\"", {copy, WideString(kCleanupSwitch),
                                         IntToStr(static_cast<int64_t>(reinterpret_cast<uintptr_t>(self))),
                                         identity.Text(), ownPath});
  HANDLE handles[3] = {self, copyFile.get(), folderHandle.get()};
  return CreateWithHandles(copy, commandLine, TQvSysWinfn::SystemFolder(), handles, 3);
}

bool IsCleanupCopy() { return ParamCount() == 4 && ParamStr(1) == kCleanupSwitch; }

int RunCleanupCopy() {
  if (!IsCleanupCopy()) return 1;
  int64_t handleValue = 0;
  TFileIdentity expected;
  if (!TryStrToInt64(ParamStr(2), handleValue) || !TFileIdentity::Parse(ParamStr(3), expected)) return 1;
  const WideString original = ParamStr(4);

  // The original's process, inherited: it ends right after starting this.
  const THandle process(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handleValue)));
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return 1;

  // An uninstaller that left something over keeps its data, and then
  // itself beside it, so that running it again finishes the removal.
  if (GetFileAttributesW(W(ExtractFilePath(original) + u"Uninstall.da1")) != INVALID_FILE_ATTRIBUTES) return 0;

  // Its image may be released a moment after the process has ended. No
  // sharing while the file is looked at and marked, so that nobody can
  // write a new file there in between.
  THandle file;
  for (int attempt = 0; attempt < 30 && !file; ++attempt) {
    file = Owned(CreateFileW(W(original), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file) break;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) break;
    Sleep(50);
  }
  if (!file) return 0;
  TFileIdentity found;
  if (!TFileIdentity::Of(file.get(), found) || !(found == expected)) return 0;
  // Its one member is named after a macro of the Windows headers.
  FILE_DISPOSITION_INFO disposition = {TRUE};
  if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition)) return 0;
  file.reset();
  // The product's folder, when the uninstaller was all it still held.
  RemoveDirectoryW(W(ExcludeTrailingBackslash(ExtractFilePath(original))));
  return 0;
}
