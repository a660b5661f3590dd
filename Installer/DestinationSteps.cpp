// The destination folder and a previous installation: the folder is
// checked against the folder rule, made and proven writable before
// anything else happens, and an earlier
// version is removed by its own quiet uninstaller before any file is
// written.
#include <windows.h>

#include "FolderRules.h"
#include "MainFrm.h"
#include "MySetupUtils.h"
#include "QvRegistry.h"
#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "TkApplication.h"

namespace {

constexpr uint32_t kLocalMachine = 0x80000002u;

// The screen cursor is the hourglass while an uninstaller runs, and the
// default again however the run ends.
class THourGlass {
public:
  THourGlass() { Application().SetScreenCursor(crHourGlass); }
  ~THourGlass() { Application().SetScreenCursor(crDefault); }
};

void RunUninstallCommand(const TRegistry& key) {
  const WideString command = key.ReadString(u"QuietUninstallString");
  if (command.empty()) return;
  THourGlass hourGlass;
  TQvWinfn::RunAndWait(command);
  Sleep(2000);
}

}  // namespace

bool TMainForm::CheckDestDir() {
  WideString& appDir = TSetupfn::AppDir;
  appDir = Trim(edtDestDir->Text());
  if (appDir.empty()) {
    TQvVclfn::ShowInfo(Handle(), ResDestDirCannotBeEmpty());
    edtDestDir->SetFocus();
    return false;
  }
  // A relative folder would name another place for the uninstaller, which
  // runs from elsewhere, than for this program.
  if (IsRelativeFolder(appDir)) {
    TQvVclfn::ShowInfo(Handle(), Format(Text(tidDestDirRelativeFmt), {appDir}));
    edtDestDir->SetFocus();
    return false;
  }
  // One spelling of the folder for every later step and for the uninstall
  // entry, which the uninstaller compares with its own folder.
  appDir = NormalisedFolder(appDir);
  if (IsRefusedFolder(appDir, SharedSystemFolders())) {
    TQvVclfn::ShowInfo(Handle(), Format(Text(tidDestDirRefusedFmt), {appDir}));
    edtDestDir->SetFocus();
    return false;
  }
  if (!DirectoryExists(appDir)) {
    try {
      ForceDirectories(appDir);
    } catch (const Exception&) {
      // The existence test below decides.
    }
    if (!DirectoryExists(appDir)) {
      TQvVclfn::ShowInfo(Handle(), Format(ResCreateDestDirFailureFmt(), {appDir}));
      return false;
    }
  }
  // A folder may exist and still refuse files (read-only media, no access).
  const WideString testFile = appDir + TQvStrfn::NewGUIDString();
  const bool writable =
      Owned(CreateFileW(W(testFile), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr)) != nullptr;
  DeleteFile(testFile);
  if (!writable) {
    TQvVclfn::ShowInfo(Handle(), Format(ResWriteDestDirFalureFmt(), {appDir}));
    return false;
  }
  return true;
}

void TMainForm::UninstallOldVersion() {
  const WideString guid = FScript->BaseInfo()->GUID;
  const WideString base = UninstallKey;
  {
    TRegistry reg(kLocalMachine);
    if (reg.OpenKeyReadOnly(Format(u"%s\\%s_is1", {base, guid}))) RunUninstallCommand(reg);
  }
  TRegistry reg(kLocalMachine);
  if (reg.OpenKeyReadOnly(Format(u"%s\\%s", {base, guid})) || reg.OpenKeyReadOnly(Format(u"%s\\%s_kv", {base, guid})))
    RunUninstallCommand(reg);
}
