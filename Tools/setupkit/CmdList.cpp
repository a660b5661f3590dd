// list SETUP.exe [--xml]: what a setup would install, as its user would
// want to check it before shipping.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "PackageReader.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "SetupPin.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const char* const kListUsage = "usage: setupkit list SETUP.exe [--xml]\n";

std::string U8(const WideString& s) { return WideToUtf8(s); }

const char* RootName(TRegRootKey k) {
  switch (k) {
    case rrkClassesRoot: return "HKCR";
    case rrkCurrentUser: return "HKCU";
    case rrkLocalMachine: return "HKLM";
    case rrkUsers: return "HKU";
    case rrkCurrentConfig: return "HKCC";
  }
  return "HKCU";
}

const char* WindowsName(TWinVersionEnum v) {
  switch (v) {
    case wveWinXPOrHigher: return "Windows XP";
    case wveWin7OrHigher: return "Windows 7";
    case wveWin10OrHigher: return "Windows 10";
  }
  return "Windows XP";
}

// The full setup an online setup accepts.
std::string PinText(const TPackageReader& package) {
  TSha256Digest pin;
  try {
    if (!ReadSetupPin(package.Resources(), pin)) return "none (installs any full setup the URL serves)";
  } catch (const Exception& e) {
    return "damaged: " + U8(e.Message());
  }
  return DigestToHex(pin) + " (SHA-256 Authenticode digest of the full setup)";
}

std::string DigestText(const WideString& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  TSha256Digest digest;
  WideString error;
  if (!AuthenticodeSha256(file, digest, error)) return "none: " + U8(error);
  return DigestToHex(digest);
}

void PrintListing(const WideString& fileName, const TPackageReader& package) {
  const TSetupScript& script = package.Script();
  const TSetupBaseInfo& info = *script.BaseInfo();
  std::printf("Setup:            %s\n", package.IsOnline() ? "online (downloads the full setup)" : "full");
  std::printf("Architecture:     %s\n", package.Is64Bit() ? "x64 (a 64-bit product: Program Files, the 64-bit registry view)"
                                                          : "x86 (a 32-bit product: on 64-bit Windows Program Files (x86), the 32-bit registry view)");
  std::printf("Title (CHS):      %s\n", U8(info.AppTitleCHS).c_str());
  std::printf("Title (CHT):      %s\n", U8(info.AppTitleCHT).c_str());
  std::printf("Title (ENG):      %s\n", U8(info.AppTitleENG).c_str());
  std::printf("Version:          %s\n", U8(info.Version).c_str());
  std::printf("GUID:             %s\n", U8(info.GUID).c_str());
  // Simplified Chinese is always offered; the others where a title exists.
  std::string languages = "CHS";
  if (!info.AppTitleCHT.empty()) languages += ", CHT";
  if (!info.AppTitleENG.empty()) languages += ", ENG";
  std::printf("Languages:        %s\n", languages.c_str());
  std::printf("Minimum Windows:  %s\n", WindowsName(info.WinVersion));
  std::printf("Install folder:   %s\n", U8(info.DefInstallPath).c_str());
  if (package.IsOnline()) {
    std::printf("Full setup from:  %s\n", U8(info.FullDownloadUrl).c_str());
    std::printf("Pinned to:        %s\n", PinText(package).c_str());
  } else {
    std::printf("SHA-256:          %s (Authenticode digest, the pin of its online setup)\n",
                DigestText(fileName).c_str());
  }

  const TSetupFileList& files = *script.FileList();
  uint64_t total = 0;
  for (int i = 0; i < files.Count(); ++i) total += static_cast<uint32_t>(files.Items(i)->FileBytes);
  std::printf("\nFiles: %d, %llu bytes\n", files.Count(), static_cast<unsigned long long>(total));
  for (int i = 0; i < files.Count(); ++i) {
    const TSetupFile* f = files.Items(i);
    const WideString name = f->NewFileName.empty() ? f->SourceMask : f->NewFileName;
    std::printf("  %-48s %12d  %s\n", U8(IncludeTrailingBackslash(f->DestDir) + name).c_str(), f->FileBytes,
                FormatDateTime(f->LastWriteDate).c_str());
  }
  const TSetupRegList& regs = *script.RegList();
  std::printf("\nRegistry values: %d\n", regs.Count());
  for (int i = 0; i < regs.Count(); ++i) {
    const TSetupReg* r = regs.Items(i);
    std::printf("  %s\\%s  %s = %s (%s)\n", RootName(r->RootKey), U8(r->SubKey).c_str(),
                r->ValueName.empty() ? "(default)" : U8(r->ValueName).c_str(), U8(r->ValueData).c_str(),
                r->ValueType == rvtDWord ? "REG_DWORD" : "REG_SZ");
  }
  const TSetupShortCutList& links = *script.ShortCutList();
  std::printf("\nShortcuts: %d\n", links.Count());
  for (int i = 0; i < links.Count(); ++i) {
    const TSetupShortCut* s = links.Items(i);
    std::printf("  %s.lnk -> %s\n", U8(IncludeTrailingBackslash(s->SaveDir) + s->Name).c_str(), U8(s->DstFile).c_str());
  }
  const TSetupRunList& runs = *script.RunList();
  std::printf("\nPrograms run after installation: %d\n", runs.Count());
  for (int i = 0; i < runs.Count(); ++i) {
    const TSetupRun* r = runs.Items(i);
    std::printf("  %s%s%s  (%s)\n", U8(r->FileName).c_str(), r->Params.empty() ? "" : " ", U8(r->Params).c_str(),
                r->Wait ? "waited for" : "started at the end");
  }
}

}  // namespace

int CmdList(const CommandArgs& args) {
  std::string file;
  bool xml = false;
  const int done = ParseFileAndFlag(args, "list", "--xml", kListUsage, file, xml);
  if (done >= 0) return done;
  const TPackageReader package(Utf8ToWide(file));
  if (xml) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // the script has its own CR LF
#endif
    std::fwrite(package.ScriptXml().data(), 1, package.ScriptXml().size(), stdout);
  } else {
    PrintListing(Utf8ToWide(file), package);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
