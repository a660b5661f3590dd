// What makes the product removable: the script and the picture left for
// the uninstaller, and the product's entry among the installed programs.
#include <windows.h>

#include <cstring>

#include "MainFrm.h"
#include "MySetupUtils.h"
#include "QvRegistry.h"
#include "QvRunLog.h"
#include "QvSysUtils.h"
#include "QvWindows.h"
#include "SetupRules.h"

// The script as the uninstaller reads it: encoded like the package's own
// resources, or plain under the development paths. It is never empty.
std::string TMainForm::UninstallScript() const {
  TMemoryStream stream;
  FScript->SaveToStream(stream);
  if (!DevelopmentPaths()) TSetupfn::EncodeStream(stream);
  return stream.TakeBytes();
}

void TMainForm::SaveUninstallData() {
  QV_ASSERT(FLogoImage && FLogoImage->IsPng(), MAINFRM_UNIT);
  const bool plain = DevelopmentPaths();
  TMemoryStream stream;
  // Encoded on the second thread meanwhile; what failed there is done
  // again here, and reported.
  std::string script;
  if (FUninstallScriptWork) {
    try {
      FUninstallScriptWork->Wait();
      script = std::move(FUninstallScript);
    } catch (...) {
    }
    FUninstallScriptWork.reset();
  }
  stream.Assign(!script.empty() ? std::move(script) : UninstallScript());
  // Like the product's files, the data files of an earlier installation
  // stay whole until the new ones are complete.
  TQvFilefn::ReplaceWhole(TSetupfn::AppDir + u"Uninstall.da1", stream.Memory(),
                          static_cast<int64_t>(stream.Bytes().size()), TFileTimes());

  // The picture as it came out of the package: it is a PNG already, and
  // re-encoding it would only change its bytes.
  stream.Assign(FLogoImage->Bytes());
  if (!plain) TSetupfn::EncodeStream(stream);
  TQvFilefn::ReplaceWhole(TSetupfn::AppDir + u"Uninstall.da2", stream.Memory(),
                          static_cast<int64_t>(stream.Bytes().size()), TFileTimes());
  TQvRunLog::Line(u"Uninstall data: %sUninstall.da1, %sUninstall.da2", {TSetupfn::AppDir, TSetupfn::AppDir});
}

void TMainForm::RegisterUninstaller() {
  const TSetupBaseInfo& info = *FScript->BaseInfo();
  int32_t major = 0, minor = 0, release = 0, build = 0;
  info.DecodeVersion(major, minor, release, build);
  const uint32_t sizeKB = EstimatedSizeKB(*FScript->FileList());

  TRegistry reg(0x80000002u);
  const WideString key = Format(u"%s\\%s", {WideString(UninstallKey), info.GUID});
  if (!reg.OpenKey(key, true)) {
    TQvRunLog::Line(u"Uninstall entry cannot be made: HKLM\\%s", {key});
    return;
  }
  const TDateTime now = TQvFilefn::Now();
  const WideString& appDir = TSetupfn::AppDir;
  // Strings are stored as UTF-16, so a title in Chinese survives on a
  // system whose ANSI code page lacks its characters.
  const WideString displayName = Format(ResAppVersionFmt(), {FAppTitle, info.Version});
  reg.WriteString(u"DisplayName", displayName);
  reg.WriteString(u"DisplayVersion", info.Version);
  reg.WriteInteger(u"EstimatedSize", static_cast<int32_t>(sizeKB));
  reg.WriteString(u"HelpLink", info.CompanyUrl);
  reg.WriteString(u"InstallDate", InstallDateText(now));
  reg.WriteString(u"InstallLocation", appDir);
  reg.WriteString(u"InstallLanguage", FLanguage);
  reg.WriteBinaryData(u"InstallDateTime", &now, sizeof now);
  reg.WriteInteger(u"MajorVersion", major);
  reg.WriteInteger(u"MinorVersion", minor);
  reg.WriteInteger(u"NoModify", 1);
  reg.WriteInteger(u"NoRepair", 1);
  reg.WriteString(u"Publisher", info.CompanyName);
  reg.WriteString(u"QuietUninstallString", QuietUninstallString(appDir));
  reg.WriteString(u"UninstallString", UninstallString(appDir));
  reg.WriteString(u"URLInfoAbout", info.CompanyUrl);
  reg.WriteString(u"URLUpdateInfo", info.CompanyUrl);
  reg.WriteInteger(u"VersionMajor", major);
  reg.WriteInteger(u"VersionMinor", minor);
  TQvRunLog::Line(u"Uninstall entry: HKLM\\%s, \"%s\", InstallLocation \"%s\", QuietUninstallString %s",
                  {key, displayName, appDir, QuietUninstallString(appDir)});
}
