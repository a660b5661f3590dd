// The destination folder and a previous installation: the folder is
// checked against the folder rule, made and proven writable before
// anything else happens, and an earlier
// version is removed by its own quiet uninstaller before any file is
// written.
#include <windows.h>

#include "FolderRules.h"
#include "MainFrm.h"
#include "MySetupUtils.h"
#include "QvFolderSecurity.h"
#include "QvRegistry.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "QvWinApi.h"
#include "QvWindows.h"
#include "SetupRules.h"
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
  // The uninstaller it names runs with this program's rights: not one that
  // others could have replaced, nor one from a folder where they could
  // have put the libraries it loads.
  const WideString program = ProgramOfCommandLine(command);
  if (TQvFolderSecurity::OthersMayChange(ExtractFilePath(program)) || TQvFolderSecurity::OthersMayChange(program)) {
    TQvRunLog::Line(u"Previous version's uninstaller not run (users may change it or its folder): %s", {command});
    return;
  }
  THourGlass hourGlass;
  TQvRunLog::Line(u"Previous version's uninstaller: %s", {command});
  const uint32_t code = TQvWinfn::RunAndWait(command);
  TQvRunLog::Line(u"Previous version's uninstaller ended with exit code %u", {code});
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
  if (IsRefusedFolder(appDir, SharedFolders())) {
    TQvVclfn::ShowInfo(Handle(), Format(Text(tidDestDirRefusedFmt), {appDir}));
    edtDestDir->SetFocus();
    return false;
  }
  // Outside Program Files the first folder made gets administrators-only
  // rights as it is made, so that nobody can put anything into it first;
  // the folders below inherit them.
  const bool guarded = !IsInsideAnyFolder(appDir, ProgramFilesFolders());
  WideString created;
  if (!DirectoryExists(appDir)) {
    created = TopmostMissingFolder(appDir, DirectoryExists);
    if (guarded && !created.empty()) TQvFolderSecurity::CreateProtected(created);
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
  if (guarded && !GuardDestDir(created)) {
    if (!FSilentMode) edtDestDir->SetFocus();
    return false;
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

// The installer runs with administrator rights, and so do the programs it
// installs when an administrator starts them: whoever may change the
// product's folder may replace them. Program Files gives a new folder
// rights that only administrators may change; anywhere else the folder
// gets such rights here.
bool TMainForm::GuardDestDir(const WideString& created) {
  const WideString& appDir = TSetupfn::AppDir;
  if (!TQvFolderSecurity::OthersMayChange(appDir)) return true;
  // Folders this run made without the rights (a system that refused them
  // at creation), or this product's own folder from an earlier
  // installation made before folders were protected: both are protected
  // without asking.
  const WideString previous = PreviousInstallLocation();
  const bool own = !previous.empty() && SameText(NormalisedFolder(previous), appDir);
  if (!created.empty() || own) {
    TQvFolderSecurity::Protect(created.empty() ? appDir : created);
    if (!TQvFolderSecurity::OthersMayChange(appDir)) return true;
  }
  const WideString open = Format(Text(tidDestDirOpenFmt), {appDir});
  // Nobody can answer a silent run's question: the folder is refused.
  if (FSilentMode) {
    TQvSysWinfn::WriteStdErr(open);
    return false;
  }
  // Someone else's folder: its rights change only with the user's consent
  // (other people may rely on writing there).
  if (TQvWinfn::MessageBox(Handle(), open + u"\r\n\r\n" + Text(tidDestDirProtectQuestion),
                           MB_YESNO | MB_ICONWARNING, Application().Title()) != IDYES)
    return false;
  if (TQvFolderSecurity::Protect(appDir) && !TQvFolderSecurity::OthersMayChange(appDir)) return true;
  TQvVclfn::ShowInfo(Handle(), Text(tidDestDirProtectFailed));
  return false;
}

WideString TMainForm::PreviousInstallLocation() const {
  TRegistry reg(kLocalMachine);
  const WideString keyA = Format(u"%s\\%s", {WideString(UninstallKey), FScript->BaseInfo()->GUID});
  const WideString keyB = Format(u"%s\\%s_kv", {WideString(UninstallKey), FScript->BaseInfo()->GUID});
  if (!reg.OpenKeyReadOnly(keyA) && !reg.OpenKeyReadOnly(keyB)) return WideString();
  return reg.ValueExists(u"InstallLocation") ? reg.ReadString(u"InstallLocation") : WideString();
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
