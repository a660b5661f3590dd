// Online installation: the download of the full setup, and the product's
// completion address called at the end of every installation.
#include <windows.h>

#include "MainFrm.h"
#include "QvSysUtils.h"
#include "QvWindows.h"
#include "SetupRules.h"

// The download of the full setup is not built yet. An online setup says so
// plainly and ends as a failed installation, rather than pretending.
bool TMainForm::DownloadFullSetup() {
  ReportError(Format(u"%s\r\n\r\nThis online setup cannot download %s: online installation is not available in "
                     u"this version of the installer.",
                     {ResSetupPackageError(), FScript->BaseInfo()->FullDownloadUrl}));
  Halt(secInstallFailed);
}

void TMainForm::OpenGotoUrl() {
  const TSetupBaseInfo& info = *FScript->BaseInfo();
  if (info.GotoUrl.empty()) return;
  const WideString url = AppendRCode(info.GotoUrl, ExtractFileTitle(ParamStr(0)));
  switch (info.GotoUrlMode) {
    case gumByBrowser:
      TQvWinfn::OpenUrl(url);
      break;
    case gumSilent:
      // The silent call needs the HTTP client, which comes with online
      // installation; until then nothing is requested.
      SetDetail(ResVerifyingSetup());
      break;
  }
}
