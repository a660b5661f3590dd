// The removal, step by step: running programs ended, the product's own
// uninstall programs run, then its files, shortcuts and registry values,
// the data left for this program, the folders emptied on the way and the
// entry among the installed programs. Every path comes from the uninstall
// data and is expanded as the installer expanded it; none is followed
// that leaves its folder through "..".
#include <windows.h>

#include "FolderRules.h"
#include "MySetupUtils.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "SetupRules.h"
#include "UninstallRules.h"
#include "Uninstaller.h"

namespace {

constexpr uint32_t kLocalMachine = 0x80000002u;

// Owns one open registry key.
class TRegKey {
public:
  TRegKey() = default;
  ~TRegKey() {
    if (FKey) RegCloseKey(FKey);
  }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;
  bool Open(HKEY root, const WideString& subKey, REGSAM access) {
    return RegOpenKeyExW(root, W(subKey), 0, access, &FKey) == ERROR_SUCCESS;
  }
  HKEY Get() const { return FKey; }

private:
  HKEY FKey = nullptr;
};

HKEY RootOf(uint32_t root) { return reinterpret_cast<HKEY>(static_cast<uintptr_t>(root)); }

const char16_t* RootName(uint32_t root) {
  switch (root) {
    case 0x80000000u: return u"HKEY_CLASSES_ROOT";
    case 0x80000001u: return u"HKEY_CURRENT_USER";
    case 0x80000002u: return u"HKEY_LOCAL_MACHINE";
    case 0x80000003u: return u"HKEY_USERS";
    case 0x80000005u: return u"HKEY_CURRENT_CONFIG";
    default: return u"HKEY";
  }
}

// A key with neither values nor subkeys; false when it cannot be read.
bool KeyIsEmpty(HKEY root, const WideString& subKey) {
  TRegKey key;
  if (!key.Open(root, subKey, KEY_QUERY_VALUE)) return false;
  DWORD subKeys = 0, values = 0;
  if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  return subKeys == 0 && values == 0;
}

// Starts a program with its working folder (none when the folder is
// missing); an empty owner when it cannot start.
THandle StartProgram(const WideString& commandLine, const WideString& workDir) {
  std::vector<wchar_t> command(commandLine.begin(), commandLine.end());
  command.push_back(L'\0');
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  const WideString dir = !workDir.empty() && DirectoryExists(workDir) ? workDir : WideString();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, WOrNull(dir), &si, &pi))
    return THandle();
  CloseHandle(pi.hThread);
  return THandle(pi.hProcess);
}

bool IsLink(const WideString& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool FolderHasEntries(const WideString& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(W(IncludeTrailingBackslash(folder) + u"*"), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  do {
    const WideString name(reinterpret_cast<const char16_t*>(data.cFileName));
    if (name != u"." && name != u"..") any = true;
  } while (!any && FindNextFileW(find, &data));
  FindClose(find);
  return any;
}

}  // namespace

void TUninstaller::KillRunningPrograms() {
  // The rule the installer follows: the processes that run from the
  // product's program files in this folder, under the names they were
  // installed with, and no other; this program stays out by its process id
  // (the product lists Uninstall.exe among its files).
  const int ended = TQvWinfn::EndProcessesByPath(OwnProgramPaths(*FScript->FileList(), FAppTitle), 3000);
  TQvRunLog::Line(u"Programs ended: %d", {ended});
}

void TUninstaller::RunUninstallPrograms() {
  for (int i = 0; i < FScript->UninstallRunList()->Count(); ++i) {
    const TUninstallRun& item = *FScript->UninstallRunList()->Items(i);
    // By its full path: the product's program, else the system's, never
    // one found in the working folder or on PATH.
    const WideString fileName =
        ProgramPath(Expand(item.FileName), TSetupfn::AppDir, TQvSysWinfn::SystemFolder(), FileExists);
    StepItem(fileName);
    // A program that cannot be started is skipped, as the installer skips
    // one after installation: the removal goes on without it.
    const WideString commandLine = WaitedCommandLine(fileName, Expand(item.Params));
    const THandle process = StartProgram(commandLine, Expand(item.WorkDir));
    if (!process) {
      TQvRunLog::Line(u"Uninstall program cannot be started, skipped: %s", {commandLine});
      continue;
    }
    TQvRunLog::Line(u"Uninstall program started: %s", {commandLine});
    switch (item.WaitType) {
      case urwWaitClose: WaitForSingleObject(process.get(), INFINITE); break;
      case urwWaitSeconds:
        if (item.WaitSeconds > 0) WaitForSingleObject(process.get(), static_cast<DWORD>(item.WaitSeconds) * 1000u);
        break;
      default: break;
    }
  }
}

bool TUninstaller::RemoveFile(const WideString& path) {
  if (DeleteFileW(W(path))) {
    TQvRunLog::Line(u"Removed: %s", {path});
    return true;
  }
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    TQvRunLog::Line(u"Already gone: %s", {path});
    return true;
  }
  const DWORD attributes = GetFileAttributesW(W(path));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    // A folder where the data names a file is not the product's file.
    return true;
  }
  // The product's own read-only files go as well.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(W(path), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileW(W(path))) {
      TQvRunLog::Line(u"Removed (it was read-only): %s", {path});
      return true;
    }
    error = GetLastError();
    SetFileAttributesW(W(path), attributes);
  }
  FLeftovers.push_back(Format(u"%s (%s)", {path, Trim(SysErrorMessage(static_cast<int>(error)))}));
  return false;
}

void TUninstaller::DeleteFiles() {
  for (int i = 0; i < FScript->FileList()->Count(); ++i) {
    const TSetupFile& item = *FScript->FileList()->Items(i);
    const WideString folder = IncludeTrailingBackslash(Expand(item.DestDir));
    const WideString path = folder + (item.NewFileName.empty() ? item.SourceMask : item.NewFileName);
    StepItem(path);
    if (!IsSafeAbsolutePath(path)) {
      Decline(path);
      continue;
    }
    // This program goes last, by its copy; the data files with their step.
    if (SameText(path, FOwnPath) || SameText(path, TSetupfn::AppDir + u"Uninstall.da1") ||
        SameText(path, TSetupfn::AppDir + u"Uninstall.da2"))
      continue;
    // A folder of the product that is now a link (a junction put there)
    // leads elsewhere: the link goes, what it leads to stays.
    const WideString link = FirstLinkOnTheWay(path, TSetupfn::AppDir, IsLink);
    if (!link.empty()) {
      RemoveLink(link);
      continue;
    }
    // Only a folder that a file was really deleted from counts as emptied
    // by this run; one the file had already left stays as it is.
    const bool existed = FileExists(path);
    if (RemoveFile(path) && existed) FTouchedFolders.push_back(ExtractFilePath(path));
  }
}

void TUninstaller::DeleteShortCuts() {
  std::vector<WideString> folders;
  for (int i = 0; i < FScript->ShortCutList()->Count(); ++i) {
    const TSetupShortCut& item = *FScript->ShortCutList()->Items(i);
    const WideString path = IncludeTrailingBackslash(Expand(item.SaveDir)) + Expand(item.Name) + u".lnk";
    StepItem(path);
    if (!IsSafeAbsolutePath(path)) {
      Decline(path);
      continue;
    }
    const bool existed = FileExists(path);
    if (RemoveFile(path) && existed) folders.push_back(ExtractFilePath(path));
  }
  // The program group goes when its shortcuts were all it held. Without a
  // title "{group}" is the Programs folder itself, which stays.
  const WideString group = IncludeTrailingBackslash(Expand(u"{group}"));
  if (TSetupfn::GroupName.empty() || !IsSafeAbsolutePath(ExcludeTrailingBackslash(group)) ||
      SameText(group, IncludeTrailingBackslash(TSetupfn::CommonProgramsDir)))
    return;
  for (const WideString& folder : FoldersToPrune(folders, group))
    if (RemoveDirectoryW(W(folder))) TQvRunLog::Line(u"Removed folder: %s", {folder});
}

void TUninstaller::DeleteRegistryValues() {
  struct TKeyRef {
    uint32_t Root;
    WideString SubKey;
  };
  std::vector<TKeyRef> keys;
  for (int i = 0; i < FScript->RegList()->Count(); ++i) {
    const TSetupReg& item = *FScript->RegList()->Items(i);
    const uint32_t root = RegRootKeyToHKEY(item.RootKey);
    WideString subKey = Expand(item.SubKey);
    while (!subKey.empty() && subKey[0] == u'\\') subKey.erase(0, 1);
    subKey = ExcludeTrailingBackslash(subKey);
    const WideString name = Expand(item.ValueName);
    StepItem(Format(u"%s\\%s", {WideString(RootName(root)), subKey}));
    // A value directly under a root is nobody's product.
    if (subKey.empty()) continue;
    TRegKey key;
    if (key.Open(RootOf(root), subKey, KEY_SET_VALUE | KEY_QUERY_VALUE)) {
      const LONG rc = RegDeleteValueW(key.Get(), W(name));
      if (rc == ERROR_SUCCESS)
        TQvRunLog::Line(u"Removed registry value: %s\\%s, \"%s\"", {WideString(RootName(root)), subKey, name});
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        FLeftovers.push_back(Format(u"%s\\%s \"%s\" (%s)", {WideString(RootName(root)), subKey, name,
                                                              Trim(SysErrorMessage(static_cast<int>(rc)))}));
    }
    bool known = false;
    for (const TKeyRef& k : keys) known = known || (k.Root == root && SameText(k.SubKey, subKey));
    if (!known) keys.push_back({root, subKey});
  }
  // A key goes once nothing is left in it, and so do the parents the
  // installer made for it, up to the first that holds anything else. A
  // key directly under a root ("Software") is never removed.
  for (const TKeyRef& k : keys) {
    if (!KeyIsEmpty(RootOf(k.Root), k.SubKey) || RegDeleteKeyW(RootOf(k.Root), W(k.SubKey)) != ERROR_SUCCESS)
      continue;
    TQvRunLog::Line(u"Removed registry key: %s\\%s", {WideString(RootName(k.Root)), k.SubKey});
    for (const WideString& parent : ParentKeysToPrune(k.SubKey)) {
      if (!KeyIsEmpty(RootOf(k.Root), parent) || RegDeleteKeyW(RootOf(k.Root), W(parent)) != ERROR_SUCCESS) break;
      TQvRunLog::Line(u"Removed registry key: %s\\%s", {WideString(RootName(k.Root)), parent});
    }
  }
}

void TUninstaller::RemoveLink(const WideString& link) {
  // A link to a folder is removed as a folder, which removes the link and
  // nothing behind it; each link once, however many paths lead through it.
  // One that cannot be removed (Wine removes none) is left over.
  for (const WideString& done : FLinksSeen)
    if (SameText(done, link)) return;
  FLinksSeen.push_back(link);
  if (RemoveDirectoryW(W(link)) || DeleteFileW(W(link)) || !IsLink(link)) return;
  const DWORD error = GetLastError();
  FLeftovers.push_back(Format(u"%s (%s)", {link, Trim(SysErrorMessage(static_cast<int>(error)))}));
}

void TUninstaller::Decline(const WideString& path) { FLeftovers.push_back(Format(Text(utDeclinedPathFmt), {path})); }

bool TUninstaller::DeleteUninstallData() {
  // The picture first: a second run needs only the script.
  return RemoveFile(TSetupfn::AppDir + u"Uninstall.da2") && RemoveFile(TSetupfn::AppDir + u"Uninstall.da1");
}

void TUninstaller::RemoveEmptyFolders() {
  // Only folders this run deleted something from, and their parents up to
  // the product's folder: a folder the user made, or one that still holds
  // anything, stays. The product's folder itself still holds this program
  // and its data; the copy removes the folder after them.
  for (const WideString& folder : FoldersToPrune(FTouchedFolders, TSetupfn::AppDir)) {
    if (SameText(folder, TSetupfn::AppDir)) continue;
    if (RemoveDirectoryW(W(folder))) {
      TQvRunLog::Line(u"Removed folder: %s", {folder});
      continue;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || FolderHasEntries(folder)) continue;
    FLeftovers.push_back(Format(u"%s (%s)", {folder, Trim(SysErrorMessage(static_cast<int>(error)))}));
  }
}

void TUninstaller::DeleteUninstallKey() {
  // The entry of another installation of the product (installed again into
  // another folder) names that folder and stays.
  // Older setups stored the folder as typed ("C:\Apps\.\Hello"); a
  // relative one names no folder this program could compare with.
  if (!FEntryLocation.empty()) {
    const WideString location =
        IsRelativeFolder(FEntryLocation) ? FEntryLocation : NormalisedFolder(FEntryLocation);
    if (!SameText(location, TSetupfn::AppDir)) return;
  }
  const WideString key = Format(u"%s\\%s", {WideString(UninstallKey), FScript->BaseInfo()->GUID});
  const LONG rc = RegDeleteKeyW(RootOf(kLocalMachine), W(key));
  if (rc == ERROR_SUCCESS) TQvRunLog::Line(u"Removed uninstall entry: HKEY_LOCAL_MACHINE\\%s", {key});
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
    FLeftovers.push_back(Format(u"HKEY_LOCAL_MACHINE\\%s (%s)", {key, Trim(SysErrorMessage(static_cast<int>(rc)))}));
}
