// The main window and the installer's controller: start-up in its fixed
// order, the three pages, the installation sequence as a list of calls.
// The steps are methods of this class; each step group is defined in the
// unit named after what it does (DestinationSteps, FileDeployment,
// RegistrySteps, UninstallRegistration, ProgramSteps, OnlineSetup).
#pragma once

#include <memory>
#include <string>

#include "BackgroundWork.h"
#include "BaseFrm.h"
#include "ExitCodes.h"
#include "FileDataClasses.h"
#include "QvIndyUtils.h"
#include "SetupProject.h"
#include "SetupSwitches.h"
#include "SetupTexts.h"
#include "TkControls.h"

class TDecodeAhead;
class TModuleResourceReader;
class TDownloadedSetup;

// Ends a completed installation (WM_USER + 1).
constexpr UINT WM_RUNAPP = WM_USER + 1;
// The unit name that the main window's assertion failures carry.
#define MAINFRM_UNIT u"Installer\\MainFrm"

// The uninstall entries of the system, under HKEY_LOCAL_MACHINE.
extern const char16_t* const UninstallKey;

class TMainForm : public TBaseForm {
public:
  // The whole start-up; in /Silent and /Auto also the whole installation.
  TMainForm();
  ~TMainForm() override;

  // The command line's switches, read once: the mode (/Silent, /Auto,
  // else a window), /Dir= and /Log=.
  static const TCommandSwitches& Switches();
  static bool SilentSwitchGiven() { return Switches().Mode == u"/Silent"; }
  static bool AutoSwitchGiven() { return Switches().Mode == u"/Auto"; }

  // ---- the localized texts of the chosen language
  const WideString& ResAppVersionFmt() const { return Text(tidAppVersionFmt); }
  const WideString& ResCheckingOldVersion() const { return Text(tidCheckingOldVersion); }
  const WideString& ResCreateDestDirFailureFmt() const { return Text(tidCreateDestDirFailureFmt); }
  const WideString& ResCreatingShortCut() const { return Text(tidCreatingShortCut); }
  const WideString& ResDestDirCannotBeEmpty() const { return Text(tidDestDirCannotBeEmpty); }
  const WideString& ResExit() const { return Text(tidExit); }
  const WideString& ResInstallComplete() const { return Text(tidInstallComplete); }
  const WideString& ResInstalling() const { return Text(tidInstalling); }
  const WideString& ResInstallProgramTitleFmt() const { return Text(tidInstallProgramTitleFmt); }
  const WideString& ResModifyingRegistry() const { return Text(tidModifyingRegistry); }
  const WideString& ResNeedWin7OrHigher() const { return Text(tidNeedWin7OrHigher); }
  const WideString& ResNeedWinXPOrHigher() const { return Text(tidNeedWinXPOrHigher); }
  const WideString& ResRunningAppFmt() const { return Text(tidRunningAppFmt); }
  const WideString& ResSelectInstallPath() const { return Text(tidSelectInstallPath); }
  const WideString& ResSetupPackageError() const { return Text(tidSetupPackageError); }
  const WideString& ResVerifyingSetup() const { return Text(tidVerifyingSetup); }
  const WideString& ResVersionFmt() const { return Text(tidVersionFmt); }
  const WideString& ResWriteDestDirFalureFmt() const { return Text(tidWriteDestDirFalureFmt); }

  // ---- state shared by the steps
  TSetupScript* FScript = nullptr;
  TQvHttpProxy* FProxy = nullptr;
  WideString FAppTitle;
  WideString FLanguage = u"CHS";
  uint8_t FInstallState = 0;  // 0 ready, 1 installing, 2 finished
  bool FSilentMode = false;
  bool FAutoMode = false;
  bool FFullPackage = false;
  WideString FTempSetupFile;
  WideString FLicenseText;
  // The product picture, decoded; its bytes are the PNG stored for the
  // uninstaller.
  std::shared_ptr<TTkPicture> FLogoImage;

  // ---- controls (owned by their parents)
  TTkPanel* pnlMainFormColor;
  TTkImage* imgBackground;
  TTkLabel* lblAppTitle;
  TTkLabel* lblVersion;
  TTkImage* imgMinimize;
  TTkImage* imgClose;
  TTkImage* imgIcon;
  TTkPaintBox* pbLogo;
  TTkPanel* pnlBottom;
  TTkLabel* lblDestDir;
  TTkLabel* lblWait;
  TTkLabel* lblLicense;
  TTkLabel* lblDetail;
  TTkLabel* lblProxy;
  TTkEdit* edtDestDir;
  TTkProgressBar* pbProgress;
  TTkButton* btnDestDir;
  TTkButton* btnRunApp;
  TTkCheckBox* cbLicense;
  TTkButton* btnInstall;

  // ---- the package: the module whose resources hold it
  void* PackageModule() const;
  const TModuleResourceReader& Package() const { return *FPackage; }

  // ---- start-up (MainFrm)
  void ChooseLanguage();
  void LoadProductIcon();
  void LoadLicenseText();
  void UpdateInstallButton();
  void DragWindow();

  // ---- the installation sequence (MainFrm)
  void btnInstallClick();
  void btnRunAppClick();
  void WMRunApp();
  // Pending window messages; a no-op before the loop runs in /Silent.
  void ProcessMessages();
  void StepProgress();
  // Sets the detail line and repaints it at once.
  void SetDetail(const WideString& text);

  // ---- steps (one unit per group)
  // The package checked whole (picture, licenses, file data framing);
  // raises EPackageDamaged naming what is damaged.
  void RequireWholePackage();
  bool CheckDestDir();            // DestinationSteps
  // For a folder outside Program Files: true when only administrators can
  // change it, after protecting it where this run made it, where it is
  // this product's own, or where the user agrees; reports a refusal
  // itself. created is the outermost folder this run made, or empty.
  bool GuardDestDir(const WideString& created);  // DestinationSteps
  // InstallLocation of this product's uninstall entry (the key this
  // installer writes, else the "_kv" one); empty when there is none.
  WideString PreviousInstallLocation() const;  // DestinationSteps
  void UninstallOldVersion();     // DestinationSteps
  void KillRunningPrograms();     // FileDeployment
  void InstallFiles();            // FileDeployment
  // The copy-failure dialog for one file: true to retry, false to skip;
  // leaving ends the process.
  bool AskAboutFailedFile(const WideString& path, const WideString& reason);
  void WriteRegistryValues();     // RegistrySteps
  void CreateShortCuts();         // RegistrySteps
  void SaveUninstallData();       // UninstallRegistration
  std::string UninstallScript() const;  // UninstallRegistration
  void RegisterUninstaller();     // UninstallRegistration
  void RunWaitPrograms();         // ProgramSteps
  void RunNoWaitPrograms();       // ProgramSteps
  bool DownloadFullSetup();       // OnlineSetup
  bool DownloadFailed(const WideString& message);
  void ReleaseDownload();
  void ShowStartPage();
  void OpenGotoUrl();             // OnlineSetup

  // The exit code when the window is closed: 0 after a completed
  // installation, 4 when an automatic run stopped at a failed destination
  // check, 2 when the user leaves before installing.
  TSetupExitCode ExitCodeOnClose() const;

  // Ends the process at once, without destructors.
  [[noreturn]] static void Halt(TSetupExitCode code);
  // What an error that no step catches shows: a box, or standard error in
  // /Silent.
  void ReportError(const WideString& message);

protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
  const WideString& Text(TTextId id) const { return SetupText(id, FLanguage); }
  void CreateControls();
  void ShowProgressPage();
  void ShowCompletionPage();
  void RunInstallation();
  const std::vector<WideString>& SharedFolders();
  void imgCloseClick();
  void imgMinimizeClick();
  void lblLicenseClick();
  void lblProxyClick();
  void btnDestDirClick();
  void pbLogoPaint(HDC dc, const RECT& client);

  std::unique_ptr<TSetupScript> FScriptHolder;
  std::unique_ptr<TQvHttpProxy> FProxyHolder;
  std::unique_ptr<TModuleResourceReader> FPackage;
  // The downloaded full setup while it is the package (online mode).
  std::unique_ptr<TDownloadedSetup> FDownloaded;
  // The file data index of the package, as its check read it (none until
  // then): the file step uses it rather than reading it again.
  std::unique_ptr<TFileDataList> FFileIndex;
  // The file step's decoding thread while it runs: it reads the package,
  // so every way out stops it before the package is released.
  TDecodeAhead* FDecoding = nullptr;
  // The folders of the system and the shell that no product may take as
  // its own: some fifty look-ups of most of a millisecond each under Wine,
  // made on a second thread from the start. SharedFolders() waits for them.
  std::vector<WideString> FSharedFolders;
  std::unique_ptr<TBackgroundWork> FSharedFoldersWork;
  // The uninstall data's script, encoded on a second thread as soon as the
  // script is final (nothing changes it afterwards): deflated at the
  // codec's strongest level, it takes tens of milliseconds for a product
  // of thousands of files. Empty when that failed.
  std::string FUninstallScript;
  std::unique_ptr<TBackgroundWork> FUninstallScriptWork;
};

// The development paths (a fixed package under the debugger, plain
// uninstaller data) exist only in a build made with SETUPKIT_DEVELOPMENT;
// a release build never takes them, debugger or not.
bool DevelopmentPaths();

// The one main form of the process.
TMainForm* MainForm();
