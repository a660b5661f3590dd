// Online installation: the download of the full setup, and the product's
// completion address called at the end of every installation.
#include <windows.h>

#include <memory>

#include "DownloadFailureFrm.h"
#include "DownloadLimits.h"
#include "DownloadedSetup.h"
#include "IndyProxySettingsFrm.h"
#include "MainFrm.h"
#include "PackageResources.h"
#include "QvRunLog.h"
#include "QvSha256.h"
#include "QvSysUtils.h"
#include "SetupPin.h"
#include "QvVclUtils.h"
#include "QvWindows.h"
#include "SetupRules.h"
#include "TkApplication.h"

void TMainForm::lblProxyClick() { TIndyProxySettingsForm::Execute(this, *FProxy); }

// Each attempt writes a new file and keeps it only when it became the
// package; a failed attempt's file and module go at once.
bool TMainForm::DownloadFullSetup() {
  HttpProxy().CopyFrom(FProxy);
  TQvHttp http;
  const WideString url = FScript->BaseInfo()->FullDownloadUrl;
  TSha256Digest pin;
  bool pinned;
  try {
    pinned = ReadSetupPin(*FPackage, pin);
  } catch (const Exception& e) {
    return DownloadFailed(e.Message());
  }
  LimitFullDownload(http, pinned);
  http.OnWorkBegin = [this](TQvHttp*, TWorkMode, int64_t max) {
    pbProgress->SetMax(static_cast<int>(static_cast<uint32_t>(max)));
    pbProgress->SetPosition(0);
    ProcessMessages();
  };
  http.OnWork = [this](TQvHttp*, TWorkMode, int64_t count) {
    pbProgress->SetPosition(static_cast<int>(static_cast<uint32_t>(count)));
    ProcessMessages();
  };

  // The body goes to its file as it arrives: a product larger than the
  // installer's address space still downloads.
  std::unique_ptr<TDownloadedSetup> file;
  try {
    FTempSetupFile = TQvWinfn::GetTempDir() + TQvStrfn::NewGUIDString() + u".exe";
    TQvFilefn::ForceFileDir(FTempSetupFile);
    file.reset(new TDownloadedSetup(FTempSetupFile));
  } catch (const Exception& e) {
    return DownloadFailed(e.Message());
  }
  TQvRunLog::Line(u"Download: %s", {url});
  if (!http.Get(url, file->Writer())) {
    file.reset();
    if (FSilentMode) {
      TQvSysWinfn::WriteStdErr(Format(u"%s 在线安装失败: %s: %s", {FAppTitle, url, http.LastError()}));
      Halt(secInstallFailed);
    }
    if (TDownloadFailureForm::Execute(this, FAppTitle, url)) Halt(secUserEndedSetup);
    ShowStartPage();
    return false;
  }

  try {
    // The online setup is pinned to one full setup: the digest of the
    // downloaded image (as Authenticode computes it, so that signing the
    // full setup changes nothing) must be the one it carries. An online
    // setup without a pin takes whatever setup its address serves, from a
    // server that proved who it is.
    TStream& body = file->Seal();
    TSha256Digest digest;
    WideString why;
    if (!AuthenticodeSha256(body, digest, why)) throw Exception(ResSetupPackageError());
    TQvRunLog::Line(u"Downloaded %d bytes, SHA-256 %s: %s", {body.GetSize(), Utf8ToWide(DigestToHex(digest)),
                     !pinned ? u"no pin to check against" : digest == pin ? u"the pinned digest" : u"NOT the pinned digest"});
    if (pinned && digest != pin) throw Exception(Text(tidDownloadVerifyFailed));
    void* module = file->Map();
    // The package now comes from the download; the installer's own image
    // is no longer read.
    FPackage.reset(new TModuleResourceReader(module));
    FDownloaded = std::move(file);
    if (!PackageResourceExists(*FPackage, FullScriptResID)) throw Exception(ResSetupPackageError());
    TMemoryStream stream;
    ReadPackageResource(*FPackage, FullScriptResID, stream);
    stream.SetPosition(0);
    FScript->LoadFromStream(stream);
    // Checked whole before the previous version is removed.
    RequireWholePackage();
    return true;
  } catch (const Exception& e) {
    file.reset();  // before anything that may end the process
    return DownloadFailed(e.Message());
  } catch (const std::exception& e) {
    file.reset();
    return DownloadFailed(Utf8ToWide(e.what()));
  }
}

// A download that arrived but cannot be used: the file goes, the package
// is the installer's own again, and the user is back on the start page
// (or, in /Silent, told on standard error and the installation ends).
bool TMainForm::DownloadFailed(const WideString& message) {
  ReleaseDownload();
  if (FSilentMode) {
    TQvSysWinfn::WriteStdErr(message);
    Halt(secInstallFailed);
  }
  TQvVclfn::ShowInfo(Handle(), message);
  ShowStartPage();
  return false;
}

void TMainForm::ReleaseDownload() {
  if (!FDownloaded) return;
  FPackage.reset(new TModuleResourceReader(nullptr));
  FDownloaded.reset();
}

void TMainForm::ShowStartPage() {
  FInstallState = 0;
  lblWait->Hide();
  pbProgress->Hide();
  lblDetail->Hide();
  lblAppTitle->SetCaption(FAppTitle);
  for (TTkControl* c : {static_cast<TTkControl*>(lblVersion), static_cast<TTkControl*>(btnInstall),
                        static_cast<TTkControl*>(lblDestDir), static_cast<TTkControl*>(edtDestDir),
                        static_cast<TTkControl*>(btnDestDir)})
    c->Show();
  // The license controls only when there is a license to agree to.
  cbLicense->SetVisible(!FLicenseText.empty());
  lblLicense->SetVisible(!FLicenseText.empty());
  lblProxy->SetVisible(!FFullPackage);
  btnInstall->SetFocus();
}

namespace {

DWORD WINAPI CompletionCall(LPVOID param) {
  const std::unique_ptr<WideString> url(static_cast<WideString*>(param));
  TQvHttp http;
  LimitCompletionCall(http);
  http.Get(*url);  // the answer changes nothing; Get raises nothing
  return 0;
}

// The call runs on a thread of its own, waited for no longer than its
// limit: the client bounds what the server does, this also what the name
// resolution does. A call still running then ends with the process.
void CallCompletionUrl(const WideString& url) {
  std::unique_ptr<WideString> param(new WideString(url));
  const HANDLE thread = ::CreateThread(nullptr, 0, CompletionCall, param.get(), 0, nullptr);
  if (!thread) return;
  param.release();
  ::WaitForSingleObject(thread, kCompletionCallLimitMs);
  ::CloseHandle(thread);
}

}  // namespace

void TMainForm::OpenGotoUrl() {
  const TSetupBaseInfo& info = *FScript->BaseInfo();
  if (info.GotoUrl.empty()) return;
  const WideString url = AppendRCode(info.GotoUrl, ExtractFileTitle(ParamStr(0)));
  switch (info.GotoUrlMode) {
    case gumByBrowser:
      TQvWinfn::OpenUrl(url);
      break;
    case gumSilent: {
      // The detail line is hidden by now; the text is set for whoever
      // reads the window, as before every silent call.
      SetDetail(ResVerifyingSetup());
      ProcessMessages();
      CallCompletionUrl(url);
      break;
    }
  }
}
