// extract SETUP.exe DIR: every file of a setup under DIR by its destination
// (folder placeholders kept as folder names), plus its script, icon and
// license texts. Each file is decoded and checked against its size.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "HostFiles.h"
#include "MySetupUtils.h"
#include "PackageReader.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

const char* const kExtractUsage = "usage: setupkit extract SETUP.exe DIR\n";

void WriteResource(const TResourceReader& reader, const WideString& resName, const WideString& target) {
  TMemoryStream data;
  ReadPackageResource(reader, WideToUtf8(resName), data);
  SaveFileAtomically(data.Bytes(), target);
}

}  // namespace

int CmdExtract(const CommandArgs& args) {
  const int done = ParseFiles(args, "extract", 2, kExtractUsage);
  if (done >= 0) return done;
  const TPackageReader package(Utf8ToWide(args[0]));
  const WideString dir = ExpandFileName(Utf8ToWide(args[1]));
  CreateHostFolders(dir);

  SaveFileAtomically(package.ScriptXml(), JoinHostPath(dir, u"script.xml"));
  const TSetupBaseInfo& info = *package.Script().BaseInfo();
  const struct { const WideString* ResID; const char16_t* FileName; } extras[] = {
      {&info.IconResID, u"icon.png"},
      {&info.LicenseCHSResID, u"license.CHS.txt"},
      {&info.LicenseCHTResID, u"license.CHT.txt"},
      {&info.LicenseENGResID, u"license.ENG.txt"},
  };
  for (const auto& e : extras)
    if (!e.ResID->empty()) WriteResource(package.Resources(), *e.ResID, JoinHostPath(dir, e.FileName));

  // Every file is tried; the damaged ones are named at the end.
  std::vector<WideString> damaged;
  const TSetupFileList& files = *package.Script().FileList();
  const TFileDataList empty;
  const TFileDataLookup lookup(package.FileData() ? *package.FileData() : empty);
  for (int i = 0; i < files.Count(); ++i) {
    const TSetupFile* f = files.Items(i);
    const WideString name = f->NewFileName.empty() ? f->SourceMask : f->NewFileName;
    const WideString shown = IncludeTrailingBackslash(f->DestDir) + name;
    const WideString target = ExtractTargetPath(dir, f->DestDir, name);
    std::string content;
    if (f->FileBytes > 0) {
      const TFileData* entry = lookup.Find(f->ResID);
      if (!entry) {
        damaged.push_back(shown + u": no data in the package");
        continue;
      }
      TMemoryStream data(entry->Data().Bytes());
      try {
        TSetupfn::DecodeStream(data);
      } catch (const Exception&) {
        damaged.push_back(shown + u": the data does not decode");
        continue;
      }
      if (data.GetSize() != f->FileBytes) {
        damaged.push_back(shown + Format(u": %d bytes instead of %d", {static_cast<long long>(data.GetSize()), f->FileBytes}));
        continue;
      }
      content = data.TakeBytes();
    }
    CreateHostFolders(HostFolderOf(target));
    SaveFileAtomically(content, target);
    SetFileLastWriteLocal(target, f->LastWriteDate);
  }
  for (const WideString& d : damaged) std::fprintf(stderr, "setupkit: damaged: %s\n", WideToUtf8(d).c_str());
  if (!damaged.empty()) {
    std::fprintf(stderr, "setupkit: %d of %d files are damaged\n", static_cast<int>(damaged.size()), files.Count());
    return 1;
  }
  std::printf("%d files extracted to %s\n", files.Count(), WideToUtf8(dir).c_str());
  return 0;
}
