#include "WingetManifest.h"

#include <cstdio>

#include "HostFiles.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSha256.h"
#include "QvSysUtils.h"
#include "SetupProject.h"
#include "SetupRules.h"
#include "SetupTexts.h"
#include "setupkit_version.h"

namespace {

const char* const kManifestVersion = "1.10.0";

std::string U8(const WideString& s) { return WideToUtf8(s); }

// A YAML double-quoted scalar: JSON's escapes, which YAML reads alike.
std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (const unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// One part of an identifier: what the manifest allows of text (no dots,
// blanks, or characters a file name may not hold), at most 32 characters.
WideString IdentifierPart(const WideString& text) {
  static const WideString kRefused = u".\\/:*?\"<>|";
  WideString part;
  for (const char16_t c : text) {
    if (c <= 0x20 || c == 0x7f || c == 0x3000 || c == 0xa0 || kRefused.find(c) != WideString::npos) continue;
    if (part.size() >= 32 && !(c >= 0xdc00 && c <= 0xdfff)) break;
    part += c;
  }
  return part;
}

bool IsIdentifier(const WideString& id) {
  int parts = 0;
  size_t start = 0;
  for (;;) {
    const size_t dot = id.find(u'.', start);
    const WideString part = id.substr(start, dot == WideString::npos ? WideString::npos : dot - start);
    if (part.empty() || IdentifierPart(part) != part) return false;
    ++parts;
    if (dot == WideString::npos) break;
    start = dot + 1;
  }
  return parts >= 2 && parts <= 8 && id.size() <= 128;
}

bool IsWebAddress(const WideString& url) {
  return (url.size() > 7 && SameText(url.substr(0, 7), u"http://")) ||
         (url.size() > 8 && SameText(url.substr(0, 8), u"https://"));
}

// The language whose words the manifest's default locale uses.
WideString PlanLanguage(const TSetupBaseInfo& info) { return info.AppTitleENG.empty() ? u"CHS" : u"ENG"; }

std::string Head(const char* type) {
  return std::string("# Created with setupkit ") + SETUPKIT_VERSION +
         "\n# yaml-language-server: $schema=https://aka.ms/winget-manifest." + type + "." + kManifestVersion +
         ".schema.json\n\n";
}

std::string Tail(const char* type) {
  return std::string("ManifestType: ") + type + "\nManifestVersion: " + kManifestVersion + "\n";
}

}  // namespace

TWingetPlan PlanWingetManifest(const TSetupScript& script, const WideString& identifier) {
  const TSetupBaseInfo& info = *script.BaseInfo();
  TWingetPlan plan;
  WideString id = identifier;
  if (id.empty()) {
    if (Trim(info.CompanyName).size() < 2)
      throw Exception(u"The winget manifest needs the publisher: set CompanyName in the project (two characters "
                      u"at least)");
    const WideString publisher = IdentifierPart(info.CompanyName);
    const WideString product = IdentifierPart(AppTitleFor(info, PlanLanguage(info)));
    if (publisher.empty() || product.empty())
      throw Exception(u"The winget manifest's PackageIdentifier cannot be made from the publisher \"" +
                      info.CompanyName + u"\" and the title: give one with --winget-id Publisher.Product");
    id = publisher + u"." + product;
  }
  if (!IsIdentifier(id))
    throw Exception(u"\"" + id + u"\" is not a winget PackageIdentifier: two to eight parts joined by dots, each of "
                    u"1 to 32 characters without blanks or any of \\ / : * ? \" < > |");
  const WideString& version = info.Version;
  if (version.empty() || version.size() > 128 || version.find_first_of(u"\\/:*?\"<>|") != WideString::npos)
    throw Exception(u"The version \"" + version + u"\" cannot be a winget PackageVersion");
  plan.Identifier = U8(id);
  plan.Version = U8(version);
  plan.Locale = info.AppTitleENG.empty() ? "zh-CN" : "en-US";
  if (!IsWebAddress(info.FullDownloadUrl))
    plan.Notes.push_back("InstallerUrl is a placeholder: put the address the setup is downloaded from there "
                         "(or set FullDownloadUrl in the project)");
  plan.Notes.push_back("License is \"Proprietary\": change it if the product is under another license");
  return plan;
}

std::vector<TWingetFile> WingetManifestFiles(const TWingetPlan& plan, const TSetupScript& script, TSetupArch arch,
                                             const WideString& setupFile, const std::string& sha256Hex) {
  const TSetupBaseInfo& info = *script.BaseInfo();
  const WideString language = PlanLanguage(info);
  const WideString title = AppTitleFor(info, language);
  const std::string head = "PackageIdentifier: " + Quoted(plan.Identifier) + "\nPackageVersion: " +
                           Quoted(plan.Version) + "\n";
  std::vector<TWingetFile> files;

  files.push_back({plan.Identifier + ".yaml",
                   Head("version") + head + "DefaultLocale: " + Quoted(plan.Locale) + "\n" + Tail("version")});

  std::string installer = Head("installer") + head;
  // The oldest Windows the installer starts on, as the script's gate has it.
  const char* minimum = info.WinVersion == wveWin10OrHigher ? "10.0.0.0"
                        : info.WinVersion == wveWin7OrHigher ? "6.1.0.0"
                                                              : "5.1.0.0";
  installer += std::string("MinimumOSVersion: ") + minimum + "\n";
  installer += "InstallerType: exe\nScope: machine\n";
  installer += "InstallModes:\n- interactive\n- silent\n- silentWithProgress\n";
  installer += "InstallerSwitches:\n  Silent: /Silent\n  SilentWithProgress: /Auto\n"
               "  InstallLocation: " + Quoted("/Dir=\"<INSTALLPATH>\"") + "\n"
               "  Log: " + Quoted("/Log=\"<LOGPATH>\"") + "\n";
  // The installer's exit codes (0 is success and is not listed): 1 a setup
  // that cannot start (its package missing or damaged: the publisher's to
  // mend), 2 the user left before installing, 3 a Windows older than the
  // product needs, 4 a failure during the installation (a folder or file
  // that cannot be written: nothing the package manager can retry), 5 the
  // user ended it on the way.
  installer += "ExpectedReturnCodes:\n"
               "- InstallerReturnCode: 1\n  ReturnResponse: contactSupport\n"
               "- InstallerReturnCode: 2\n  ReturnResponse: cancelledByUser\n"
               "- InstallerReturnCode: 3\n  ReturnResponse: systemNotSupported\n"
               "- InstallerReturnCode: 4\n  ReturnResponse: contactSupport\n"
               "- InstallerReturnCode: 5\n  ReturnResponse: cancelledByUser\n";
  // A new version installs over the old one, which the installer removes
  // with its own uninstaller first.
  installer += "UpgradeBehavior: install\nElevationRequirement: elevatesSelf\n";
  installer += "ProductCode: " + Quoted(U8(info.GUID)) + "\n";
  // The entry as the installation names it, in each language it may be
  // installed in.
  installer += "AppsAndFeaturesEntries:\n";
  std::vector<std::string> names;
  for (const WideString& code : OfferedLanguages(info)) {
    const std::string name = U8(Format(SetupText(tidAppVersionFmt, code), {AppTitleFor(info, code), info.Version}));
    bool known = false;
    for (const std::string& n : names) known = known || n == name;
    if (known) continue;
    names.push_back(name);
    installer += "- DisplayName: " + Quoted(name) + "\n";
    if (info.CompanyName.size() >= 1) installer += "  Publisher: " + Quoted(U8(info.CompanyName)) + "\n";
    installer += "  DisplayVersion: " + Quoted(U8(info.Version)) + "\n  ProductCode: " + Quoted(U8(info.GUID)) + "\n";
  }
  const WideString fileName = HostNameOf(setupFile);
  const WideString url =
      IsWebAddress(info.FullDownloadUrl) ? info.FullDownloadUrl : u"https://example.com/replace-with-the-download-address/" + fileName;
  installer += "Installers:\n- Architecture: " + std::string(SetupArchName(arch)) + "\n  InstallerUrl: " +
               Quoted(U8(url)) + "\n  InstallerSha256: " + sha256Hex + "\n";
  installer += Tail("installer");
  files.push_back({plan.Identifier + ".installer.yaml", installer});

  std::string locale = Head("defaultLocale") + head + "PackageLocale: " + Quoted(plan.Locale) + "\n";
  locale += "Publisher: " + Quoted(U8(Trim(info.CompanyName))) + "\n";
  if (IsWebAddress(info.CompanyUrl)) locale += "PublisherUrl: " + Quoted(U8(info.CompanyUrl)) + "\n";
  locale += "PackageName: " + Quoted(U8(title.size() >= 2 ? title : title + u" " + title)) + "\n";
  if (IsWebAddress(info.CompanyUrl)) locale += "PackageUrl: " + Quoted(U8(info.CompanyUrl)) + "\n";
  locale += "License: Proprietary\n";
  if (Trim(info.LegalCopyright).size() >= 3) locale += "Copyright: " + Quoted(U8(Trim(info.LegalCopyright))) + "\n";
  // A line of what the product is: its product name, else the setup's file
  // description, else its title.
  WideString description = Trim(info.ProductName);
  if (description.size() < 3) description = Trim(info.InstallFileDescription);
  if (description.size() < 3) description = title + u" for Windows";
  locale += "ShortDescription: " + Quoted(U8(description)) + "\n";
  locale += Tail("defaultLocale");
  files.push_back({plan.Identifier + ".locale." + plan.Locale + ".yaml", locale});
  return files;
}

std::vector<WideString> WriteWingetManifest(const WideString& folder, const std::vector<TWingetFile>& files) {
  CreateHostFolders(folder);
  std::vector<WideString> paths;
  for (const TWingetFile& f : files) {
    const WideString path = JoinHostPath(folder, Utf8ToWide(f.Name));
    SaveFileAtomically(f.Content, path);
    paths.push_back(path);
  }
  return paths;
}
