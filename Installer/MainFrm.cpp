#include "MainFrm.h"

#include <windows.h>

#include "DecodeAhead.h"
#include "DownloadedSetup.h"
#include "FileDataClasses.h"
#include "FolderRules.h"
#include "LicenseFrm.h"
#include "MySetupUtils.h"
#include "PackageCheck.h"
#include "PackageResources.h"
#include "PhaseTimes.h"
#include "QvRegistry.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvVclUtils.h"
#include "QvWindows.h"
#include "RunLogStart.h"
#include "SelectLangFrm.h"
#include "SetupRules.h"
#include "TkApplication.h"
#include "TkSkin.h"


const char16_t* const UninstallKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

TMainForm* gMainForm = nullptr;

constexpr COLORREF kLinkBlue = RGB(0, 0, 255);

TTkFont LinkFont() {
  TTkFont font = TTkFont::Of(u"Tahoma", 12, kLinkBlue);
  font.Underline = true;
  return font;
}

// A picture of the installer's own resources (the window buttons' glyphs).
std::shared_ptr<TTkPicture> OwnPicture(const wchar_t* name) {
  HRSRC info = FindResourceW(nullptr, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL data = info ? LoadResource(nullptr, info) : nullptr;
  const void* bytes = data ? LockResource(data) : nullptr;
  if (!bytes) return nullptr;  // a window without glyphs still works
  return TTkPicture::FromBytes(std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, info)));
}

}  // namespace

TMainForm* MainForm() { return gMainForm; }

bool DevelopmentPaths() {
#ifdef SETUPKIT_DEVELOPMENT
  return TQvSysWinfn::IsDebugging();
#else
  return false;
#endif
}

// ---- construction, in the order the installer depends on --------------------

namespace {
DWORD GMainThread = 0;
}  // namespace

TMainForm::TMainForm() : TBaseForm(nullptr) {
  gMainForm = this;
  // Needed first when the destination is checked, looked up meanwhile.
  FSharedFoldersWork = std::make_unique<TBackgroundWork>([this]() { FSharedFolders = SharedSystemFolders(); });
  // The HTTP client shows the busy cursor while it waits, on this thread.
  GMainThread = GetCurrentThreadId();
  TQvHttpCursorHooks hooks;
  hooks.IsMainThread = [] { return GetCurrentThreadId() == GMainThread; };
  hooks.GetCursor = [] { return static_cast<int16_t>(Application().ScreenCursor()); };
  hooks.SetCursor = [](int16_t cursor) { Application().SetScreenCursor(static_cast<TCursor>(cursor)); };
  SetHttpCursorHooks(hooks);
  Application().SetMainForm(this);
  CreateControls();
  // The look (skin, glyph pictures) is drawn by the window layer; the
  // installer selects nothing more here.

  FScriptHolder.reset(new TSetupScript());
  FScript = FScriptHolder.get();
  FProxyHolder.reset(new TQvHttpProxy());
  FProxy = FProxyHolder.get();

  FSilentMode = SilentSwitchGiven();
  FAutoMode = AutoSwitchGiven();
  // /Silent shows no window at all: what a box would say goes to
  // standard error (the entry has said so already, for the window above).
  TQvVclfn::SetConsoleReports(FSilentMode);

  imgIcon->Hide();
  for (TTkControl* c : {static_cast<TTkControl*>(pbLogo), static_cast<TTkControl*>(lblAppTitle),
                        static_cast<TTkControl*>(lblVersion), static_cast<TTkControl*>(btnInstall)})
    c->SetLeft((ClientWidth() - c->Width()) / 2);

  FInstallState = 0;

  // The running executable is the package. LoadLibraryW of the own file
  // gives the image that is already mapped: the resources are read in
  // place and never copied whole.
#ifdef SETUPKIT_DEVELOPMENT
  FPackage = TModuleResourceReader::LoadModule(DevelopmentPaths() ? WideString(SETUPKIT_DEVELOPMENT) : ParamStr(0));
#else
  FPackage = TModuleResourceReader::LoadModule(ParamStr(0));
#endif

  {
    TMemoryStream stream;
    if (PackageResourceExists(*FPackage, FullScriptResID)) {
      FFullPackage = true;
      ReadPackageResource(*FPackage, FullScriptResID, stream);
    } else if (PackageResourceExists(*FPackage, MiniScriptResID)) {
      FFullPackage = false;
      ReadPackageResource(*FPackage, MiniScriptResID, stream);
    } else {
      // Not a setup at all (a bare installer): nothing to say to a user
      // who double-clicked it, but a deployment tool learns from the code.
      if (FSilentMode) TQvSysWinfn::WriteStdErr(u"This program carries no installation package.");
      Halt(secCannotStart);
    }
    stream.SetPosition(0);
    FScript->LoadFromStream(stream);
    TPhaseTimes::Mark("script read");
  }
  // The skin takes the product's colour as its accent before the first
  // window (the language dialog) is shown.
  tkskin::SetAccent(static_cast<COLORREF>(FScript->BaseInfo()->MainFormColor));

  ChooseLanguage();

  TQvRunLog::Line(u"Package: %s %s, GUID %s, %s", {FAppTitle, FScript->BaseInfo()->Version, FScript->BaseInfo()->GUID,
                                                    FFullPackage ? u"full setup" : u"online setup"});
  TQvRunLog::Line(u"Mode: %s, language %s",
                  {FSilentMode ? u"/Silent" : FAutoMode ? u"/Auto" : u"interactive", FLanguage});
  const WideString caption = Format(ResInstallProgramTitleFmt(), {FAppTitle});
  SetCaption(caption);
  Application().SetTitle(caption);

  bool systemOk = true;
  WideString refusal;
  switch (FScript->BaseInfo()->WinVersion) {
    case wveWinXPOrHigher:
      systemOk = TQvWinfn::IsWinXPOrHigher();
      refusal = ResNeedWinXPOrHigher();
      break;
    case wveWin7OrHigher:
      systemOk = TQvWinfn::IsWin7OrHigher();
      refusal = ResNeedWin7OrHigher();
      break;
    case wveWin10OrHigher:
      systemOk = TQvWinfn::IsWin10OrHigher();
      refusal = ResNeedWin7OrHigher();
      break;
  }
  if (!systemOk) {
    TQvVclfn::ShowInfo(Handle(), refusal);
    Halt(secSystemTooOld);
  }

  // A damaged package must stop setup while the previous version is still
  // whole: checked here, before the window offers to install.
  if (FFullPackage) RequireWholePackage();

  TSetupfn::GroupName = FAppTitle;
  pnlMainFormColor->SetColor(static_cast<COLORREF>(FScript->BaseInfo()->MainFormColor));
  lblAppTitle->SetCaption(FAppTitle);
  lblVersion->SetCaption(Format(ResVersionFmt(), {FScript->BaseInfo()->Version}));
  edtDestDir->SetText(TSetupfn::ExpandPath(FScript->BaseInfo()->DefInstallPath, FAppTitle));
  lblProxy->SetVisible(!FFullPackage);

  // A previous installation's folder, and over it the folder that the
  // command line names.
  const WideString previous = PreviousInstallLocation();
  if (!previous.empty()) edtDestDir->SetText(previous);
  if (Switches().DirGiven) {
    edtDestDir->SetText(Switches().Dir);
    TQvRunLog::Line(u"Destination from /Dir=: %s", {Switches().Dir});
  }

  LoadProductIcon();
  LoadLicenseText();

  btnDestDir->SetLeft(Width() - btnDestDir->Width() - 16);
  edtDestDir->SetWidth(btnDestDir->Left() - edtDestDir->Left() - 8);

  UpdateInstallButton();

  if (FSilentMode) {
    btnInstallClick();
  } else if (FAutoMode) {
    ShowProgressPage();
    lblWait->SetLeft((pnlBottom->Width() - lblWait->Width()) / 2);
    lblWait->Show();
    Show();
    Repaint();
    btnInstallClick();
  } else {
    Show();
    Repaint();
  }
}

const std::vector<WideString>& TMainForm::SharedFolders() {
  if (FSharedFoldersWork) {
    FSharedFoldersWork->Wait();
    FSharedFoldersWork.reset();
  }
  return FSharedFolders;
}

const TCommandSwitches& TMainForm::Switches() {
  static const TCommandSwitches switches = [] {
    std::vector<WideString> args;
    for (int i = 1; i <= ParamCount(); ++i) args.push_back(ParamStr(i));
    return ParseCommandSwitches(args, {u"/Silent", u"/Auto"}, true);
  }();
  return switches;
}

void TMainForm::RequireWholePackage() {
  FFileIndex = std::make_unique<TFileDataList>();
  const std::vector<TPackageDamage> damages = CheckPackage(*FPackage, *FScript, FFileIndex.get());
  TPhaseTimes::Mark("package checked");
  if (damages.empty()) return;
  WideString text = ResSetupPackageError();
  for (const TPackageDamage& d : damages) text += u"\r\n" + d.What + u": " + d.Reason;
  throw EPackageDamaged(text);
}

TMainForm::~TMainForm() {
  FPackage.reset();
  FDownloaded.reset();
  if (!FTempSetupFile.empty() && FileExists(FTempSetupFile)) DeleteFile(FTempSetupFile);
  if (gMainForm == this) gMainForm = nullptr;
}

void TMainForm::CreateControls() {
  SetBorderStyle(TBorderStyle::bsNone);
  SetClientSize(750, 480);
  OnShow = [this] { btnInstall->SetFocus(); };
  // The close command of the system (Alt+F4) is refused while installing,
  // like the close glyph: an installation stopped halfway leaves a product
  // that neither runs nor uninstalls.
  OnCloseQuery = [this](bool& allow) { allow = FInstallState != 1; };

  pnlMainFormColor = new TTkPanel(this);
  pnlMainFormColor->Name = u"pnlMainFormColor";
  pnlMainFormColor->SetSingleBorder(true);
  pnlMainFormColor->SetColor(RGB(0, 153, 249));
  pnlMainFormColor->SetAlign(TAlign::alClient);
  auto drag = [this](int, int, int) { DragWindow(); };
  // A transparent surface above the white strip, under every other
  // control: pressing the mouse anywhere on the product colour moves the
  // window.
  imgBackground = new TTkImage(pnlMainFormColor);
  imgBackground->Name = u"imgBackground";
  imgBackground->SetBounds(0, 0, 748, 378);
  imgBackground->OnMouseDown = drag;

  auto label = [](TTkControl* parent, const char16_t* name, int l, int t, int w, int h, const TTkFont& font) {
    TTkLabel* c = new TTkLabel(parent);
    c->Name = name;
    c->SetFont(font);
    c->SetBounds(l, t, w, h);
    return c;
  };

  lblAppTitle = label(pnlMainFormColor, u"lblAppTitle", 8, 168, 737, 57, TTkFont::Of(kYaHei, 37, kWhite));
  lblAppTitle->SetAlignment(TTextAlign::taCenter);
  lblAppTitle->SetVerticalCenter(true);
  lblAppTitle->OnMouseDown = drag;
  lblVersion = label(pnlMainFormColor, u"lblVersion", 8, 232, 737, 33, TTkFont::Of(kYaHei, 21, kWhite));
  lblVersion->SetAlignment(TTextAlign::taCenter);
  lblVersion->SetVerticalCenter(true);
  lblVersion->OnMouseDown = drag;

  imgMinimize = new TTkImage(pnlMainFormColor);
  imgMinimize->Name = u"imgMinimize";
  imgMinimize->SetBounds(682, 2, 32, 32);
  imgMinimize->SetPicture(OwnPicture(L"GLYPH_MINIMIZE"));
  imgMinimize->OnClick = [this] { imgMinimizeClick(); };
  imgClose = new TTkImage(pnlMainFormColor);
  imgClose->Name = u"imgClose";
  imgClose->SetBounds(714, 2, 32, 32);
  imgClose->SetPicture(OwnPicture(L"GLYPH_CLOSE"));
  imgClose->OnClick = [this] { imgCloseClick(); };

  imgIcon = new TTkImage(pnlMainFormColor);
  imgIcon->Name = u"imgIcon";
  imgIcon->SetBounds(320, 48, 96, 96);
  imgIcon->OnMouseDown = drag;
  pbLogo = new TTkPaintBox(pnlMainFormColor);
  pbLogo->Name = u"pbLogo";
  pbLogo->SetBounds(448, 48, 96, 96);
  pbLogo->OnPaint = [this](HDC dc, const RECT& r) { pbLogoPaint(dc, r); };
  pbLogo->OnMouseDown = drag;

  pnlBottom = new TTkPanel(pnlMainFormColor);
  pnlBottom->Name = u"pnlBottom";
  pnlBottom->SetColor(kWhite);
  pnlBottom->SetHeight(100);
  pnlBottom->SetAlign(TAlign::alBottom);
  pnlBottom->OnMouseDown = drag;

  lblDestDir = label(pnlBottom, u"lblDestDir", 10, 26, 107, 23, TTkFont::Of(u"Tahoma", 19));
  lblDestDir->SetAlignment(TTextAlign::taRight);
  lblDestDir->OnMouseDown = drag;
  lblWait = label(pnlBottom, u"lblWait", 364, 11, 149, 25, TTkFont::Of(u"Tahoma", 21));
  lblWait->SetAlignment(TTextAlign::taCenter);
  lblWait->Hide();
  lblWait->OnMouseDown = drag;
  lblLicense = label(pnlBottom, u"lblLicense", 167, 63, 80, 14, LinkFont());
  lblLicense->SetAutoSize(true);
  lblLicense->SetCursor(crHandPoint);
  lblLicense->OnClick = [this] { lblLicenseClick(); };
  lblDetail = label(pnlBottom, u"lblDetail", 361, 63, 36, 14, TTkFont::Of(u"Tahoma", 12));
  lblDetail->Hide();
  lblDetail->OnMouseDown = drag;
  lblProxy = label(pnlBottom, u"lblProxy", 15, 63, 80, 14, LinkFont());
  lblProxy->SetAutoSize(true);
  lblProxy->SetCursor(crHandPoint);
  lblProxy->SetCaption(ProxyLinkCaption);
  lblProxy->OnClick = [this] { lblProxyClick(); };

  edtDestDir = new TTkEdit(pnlBottom);
  edtDestDir->Name = u"edtDestDir";
  edtDestDir->SetFont(TTkFont::Of(u"Tahoma", 16));
  edtDestDir->SetBounds(120, 25, 100, 25);
  edtDestDir->SetTabOrder(0);

  pbProgress = new TTkProgressBar(pnlBottom);
  pbProgress->Name = u"pbProgress";
  pbProgress->SetBounds(360, 42, 150, 17);
  pbProgress->Hide();

  btnDestDir = new TTkButton(pnlBottom);
  btnDestDir->Name = u"btnDestDir";
  btnDestDir->SetFont(TTkFont::Of(kYaHei, 16));
  btnDestDir->SetBounds(224, 23, 89, 29);
  btnDestDir->SetTabOrder(2);
  btnDestDir->OnClick = [this] { btnDestDirClick(); };

  btnRunApp = new TTkButton(pnlBottom);
  btnRunApp->Name = u"btnRunApp";
  btnRunApp->SetFont(TTkFont::Of(kYaHei, 27));
  btnRunApp->SetBounds(536, 23, 200, 50);
  btnRunApp->Hide();
  btnRunApp->SetTabOrder(3);
  btnRunApp->OnClick = [this] { btnRunAppClick(); };

  cbLicense = new TTkCheckBox(pnlBottom);
  cbLicense->Name = u"cbLicense";
  cbLicense->SetBounds(120, 62, 42, 16);
  cbLicense->SetChecked(true);
  cbLicense->SetTabOrder(4);
  cbLicense->OnClick = [this] { UpdateInstallButton(); };

  btnInstall = new TTkButton(pnlMainFormColor);
  btnInstall->Name = u"btnInstall";
  btnInstall->SetFont(TTkFont::Of(kYaHei, 27));
  btnInstall->SetBounds(264, 280, 200, 50);
  btnInstall->SetTabOrder(1);
  btnInstall->OnClick = [this] { btnInstallClick(); };
  SetDefaultButton(btnInstall);
}

void* TMainForm::PackageModule() const { return FPackage ? FPackage->Module() : nullptr; }

// ---- language ---------------------------------------------------------------

void TMainForm::ChooseLanguage() {
  FLanguage = u"CHS";
  const TSetupBaseInfo& info = *FScript->BaseInfo();
  const std::vector<WideString> offered = OfferedLanguages(info);
  if (offered.size() > 1) {
    if (FSilentMode || FAutoMode) {
      FLanguage = AutomaticLanguage(offered, TQvWinfn::UserLanguageAbbrev());
    } else if (!TSelectLangForm::Execute(this, offered, FLanguage)) {
      Halt(secUserLeftEarly);
    }
  }
  if (FLanguage != u"CHS" && FLanguage != u"CHT" && FLanguage != u"ENG") FLanguage = u"CHS";

  lblDestDir->SetCaption(Text(tidDestDirCaption));
  btnDestDir->SetCaption(Text(tidBrowseCaption));
  cbLicense->SetCaption(Text(tidAgreeCaption));
  lblLicense->SetCaption(Text(tidLicenseCaption));
  btnInstall->SetCaption(Text(tidInstallCaption));
  lblWait->SetCaption(Text(tidWaitCaption));
  btnRunApp->SetCaption(Text(tidRunAppCaption));
  // The wider English check box pushes the link to its right.
  if (FLanguage != u"CHS" && FLanguage != u"CHT")
    lblLicense->SetLeft(cbLicense->Left() + cbLicense->Width() + 16);

  FAppTitle = FLanguage == u"CHS" ? info.AppTitleCHS : FLanguage == u"CHT" ? info.AppTitleCHT : info.AppTitleENG;
  lblDetail->SetCaption(lblWait->Caption());
  if (FAppTitle.empty()) FAppTitle = info.AppTitleCHS;
}

// ---- product picture and license ---------------------------------------------

void TMainForm::LoadProductIcon() {
  TMemoryStream stream;
  ReadPackageResource(*FPackage, WideToUtf8(FScript->BaseInfo()->IconResID), stream);
  FLogoImage = TTkPicture::FromBytes(stream.Bytes());
  pbLogo->Invalidate();
  imgIcon->SetPicture(FLogoImage);
}

void TMainForm::LoadLicenseText() {
  const WideString name = LicenseResIDFor(*FScript->BaseInfo(), FLanguage);
  if (name.empty()) {
    cbLicense->Hide();
    lblLicense->Hide();
    return;
  }
  TMemoryStream stream;
  ReadPackageResource(*FPackage, WideToUtf8(name), stream);
  FLicenseText = LicenseTextFromBytes(stream.Bytes());
}

void TMainForm::UpdateInstallButton() { btnInstall->SetEnabled(cbLicense->Checked()); }

void TMainForm::DragWindow() {
  ReleaseCapture();
  SendMessageW(Handle(), WM_SYSCOMMAND, 0xF012, 0);
}

void TMainForm::pbLogoPaint(HDC dc, const RECT& client) {
  if (!FLogoImage || FLogoImage->Width() == 0 || FLogoImage->Height() == 0) return;
  const float boxW = static_cast<float>(client.right - client.left);
  const float boxH = static_cast<float>(client.bottom - client.top);
  const float imgW = static_cast<float>(FLogoImage->Width());
  const float imgH = static_cast<float>(FLogoImage->Height());
  float w, h;
  if (imgW > imgH) {
    w = boxW;
    h = imgH * boxW / imgW;
  } else {
    h = boxH;
    w = imgW * boxH / imgH;
  }
  FLogoImage->Draw(dc, (boxW - w) / 2, (boxH - h) / 2, w, h);
}

// ---- window events -----------------------------------------------------------

void TMainForm::imgCloseClick() {
  if (FInstallState != 1) PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TMainForm::imgMinimizeClick() { Application().Minimize(); }

void TMainForm::lblLicenseClick() { TLicenseForm::Execute(this, lblLicense->Caption(), FLicenseText); }


// A user who picks "D:\" or Program Files means a folder of the product's
// own there, as the default destination has one.
void TMainForm::btnDestDirClick() {
  WideString path = Trim(edtDestDir->Text());
  if (!TQvVclfn::SelectDirectory(Handle(), ResSelectInstallPath(), path)) return;
  const WideString defaultDest = TSetupfn::ExpandPath(FScript->BaseInfo()->DefInstallPath, FAppTitle);
  edtDestDir->SetText(BrowsedDestination(path, defaultDest, FAppTitle, SharedFolders()));
}

TSetupExitCode TMainForm::ExitCodeOnClose() const {
  if (FInstallState == 2) return secCompleted;
  if (FAutoMode) return secInstallFailed;
  return secUserLeftEarly;
}

LRESULT TMainForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_RUNAPP) {
    WMRunApp();
    return 0;
  }
  return TBaseForm::WndProc(msg, wParam, lParam);
}

// ---- the installation sequence --------------------------------------------------

void TMainForm::ProcessMessages() { Application().ProcessMessages(); }

void TMainForm::StepProgress() {
  pbProgress->SetPosition(pbProgress->Position() + 1);
  ProcessMessages();
}

void TMainForm::SetDetail(const WideString& text) {
  lblDetail->SetCaption(text);
  lblDetail->Repaint();
}

void TMainForm::ShowProgressPage() {
  lblAppTitle->SetCaption(ResInstalling());
  for (TTkControl* c : {static_cast<TTkControl*>(lblVersion), static_cast<TTkControl*>(btnInstall),
                        static_cast<TTkControl*>(lblDestDir), static_cast<TTkControl*>(edtDestDir),
                        static_cast<TTkControl*>(btnDestDir), static_cast<TTkControl*>(cbLicense),
                        static_cast<TTkControl*>(lblLicense), static_cast<TTkControl*>(lblProxy)})
    c->Hide();
  pbProgress->SetBounds(16, pbProgress->Top(), pnlBottom->Width() - 32, pbProgress->Height());
  pbProgress->Show();
  lblWait->SetBounds(pbProgress->Left(), lblWait->Top(), pbProgress->Width(), lblWait->Height());
  lblWait->Show();
  lblDetail->SetBounds(pbProgress->Left(), lblDetail->Top(), pbProgress->Width(), lblDetail->Height());
  lblDetail->SetCaption(WideString());
  lblDetail->Show();
}

void TMainForm::ShowCompletionPage() {
  lblAppTitle->SetCaption(ResInstallComplete());
  pbProgress->Hide();
  lblWait->Hide();
  lblDetail->Hide();
  if (FScript->RunList()->NoWaitCount() == 0) btnRunApp->SetCaption(ResExit());
  btnRunApp->SetLeft((pnlBottom->Width() - btnRunApp->Width()) / 2);
  btnRunApp->Show();
  btnRunApp->SetFocus();
  SetDefaultButton(btnRunApp);
}

// An error that no step catches ends the installation where it stands:
// the user is told, and the process ends with its own code, since a window
// left on the progress page could never be closed.
void TMainForm::btnInstallClick() {
  try {
    RunInstallation();
  } catch (const Exception& e) {
    ReportError(e.Message());
    Halt(secInstallFailed);
  } catch (const std::exception& e) {
    ReportError(Utf8ToWide(e.what()));
    Halt(secInstallFailed);
  }
}

void TMainForm::RunInstallation() {
  if (!CheckDestDir()) {
    // Nobody can correct the folder of a silent run.
    if (FSilentMode) Halt(secInstallFailed);
    return;
  }
  TQvRunLog::Line(u"Destination: %s", {TSetupfn::AppDir});
  FInstallState = 1;
  ShowProgressPage();

  if (!FFullPackage && !DownloadFullSetup()) return;
  // The script is final from here (an online setup's is the full setup's):
  // its encoding for the uninstaller runs beside the steps that follow.
  // Started earlier, it would slow the start-up that the first file waits
  // for.
  FUninstallScriptWork = std::make_unique<TBackgroundWork>([this]() { FUninstallScript = UninstallScript(); });

  pbProgress->SetMax(FScript->FileList()->Count() + FScript->RegList()->Count() + FScript->ShortCutList()->Count());
  pbProgress->SetPosition(0);

  lblWait->SetCaption(ResCheckingOldVersion());
  ProcessMessages();
  TPhaseTimes::Mark("start-up");
  TQvRunLog::Line(u"Step: the previous version");
  UninstallOldVersion();
  TPhaseTimes::Mark("previous version");
  TQvRunLog::Line(u"Step: the product's running programs");
  KillRunningPrograms();
  TPhaseTimes::Mark("running programs");
  lblWait->SetCaption(ResInstalling());
  ProcessMessages();
  TQvRunLog::Line(u"Step: files (%d)", {FScript->FileList()->Count()});
  InstallFiles();
  TQvRunLog::Line(u"Step: registry values (%d)", {FScript->RegList()->Count()});
  WriteRegistryValues();
  TQvRunLog::Line(u"Step: shortcuts (%d)", {FScript->ShortCutList()->Count()});
  CreateShortCuts();
  TPhaseTimes::Mark("registry and shortcuts");
  TQvRunLog::Line(u"Step: uninstall data and entry");
  SaveUninstallData();
  RegisterUninstaller();
  TPhaseTimes::Mark("uninstall data and entry");
  TQvRunLog::Line(u"Step: programs to wait for");
  RunWaitPrograms();

  FInstallState = 2;
  ShowCompletionPage();
  OpenGotoUrl();
  // /Silent has no window to post the last step to: it follows at once.
  if (FSilentMode) WMRunApp();
  else if (FAutoMode) btnRunApp->PerformClick();
}

void TMainForm::btnRunAppClick() { PostMessageA(Handle(), WM_RUNAPP, 0, 0); }

void TMainForm::WMRunApp() {
  Hide();
  ProcessMessages();
  TQvRunLog::Line(u"Step: programs to start");
  RunNoWaitPrograms();
  Halt(secCompleted);
}

// Every way out goes through here: a downloaded setup is released and
// deleted first, so that no copy of the product stays in the temporary
// folder.
void TMainForm::Halt(TSetupExitCode code) {
  TPhaseTimes::Mark("exit");
  EndRunLog(code, SetupExitMeaning(code));
  if (gMainForm) {
    if (gMainForm->FDecoding) gMainForm->FDecoding->Stop();
    // Not cut off inside a lock they hold.
    gMainForm->FSharedFoldersWork.reset();
    gMainForm->FUninstallScriptWork.reset();
    gMainForm->FPackage.reset();
    gMainForm->FDownloaded.reset();
  }
  ExitProcess(static_cast<UINT>(code));
}

void TMainForm::ReportError(const WideString& message) {
  if (FSilentMode) {
    TQvSysWinfn::WriteStdErr(message);
    return;
  }
  TQvWinfn::MessageBox(Handle(), message, MB_OK | MB_ICONERROR, Application().Title());
}
