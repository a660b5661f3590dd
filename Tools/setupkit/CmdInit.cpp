// init FOLDER [-o PROJECT.xml] [--title T] [--publisher P] [--version V]:
// a project for a folder of files that builds as it stands, with a
// product picture of its own beside it.
#include <cstdio>
#include <memory>
#include <string>

#include "Commands.h"
#include "HostFiles.h"
#include "ProductPicture.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"
#include "SetupProject.h"

namespace {

const char* const kInitUsage =
    "usage: setupkit init FOLDER [-o PROJECT.xml] [--title TITLE] [--publisher NAME] [--version VERSION]\n"
    "  writes a project that packs every file under FOLDER into {pf}\\TITLE, with a Start menu shortcut\n"
    "  for each program at FOLDER's top and a product picture (PROJECT.png) beside it; never overwrites\n"
    "  -o          the project file (default: project.xml here)\n"
    "  --title     the product's title (default: FOLDER's name)\n"
    "  --publisher the publisher, as Apps & Features shows it (default: none)\n"
    "  --version   the product's version (default: 1.0.0.0)\n";

WideString WithoutTrailingSeparators(WideString path) {
  while (path.size() > 1 && IsHostSeparator(path.back())) path.pop_back();
  return path;
}

// folder as the project names it: relative to the project's own folder
// when it lies below it ("\" separators, as the project files of Windows
// publishers have them), else its full path.
WideString SourcePathFor(const WideString& folder, const WideString& projectDir) {
  const WideString base = WithoutTrailingSeparators(projectDir);
  if (folder == base) return u".";
  if (folder.size() > base.size() && folder.compare(0, base.size(), base) == 0 && IsHostSeparator(folder[base.size()])) {
    WideString rel = folder.substr(base.size() + 1);
    for (char16_t& c : rel)
      if (c == u'/') c = u'\\';
    return rel;
  }
  return folder;
}

template <typename T>
T* Append(TXmlObjectList* list) {
  std::unique_ptr<TXmlPersistent> item(new T());
  T* raw = static_cast<T*>(item.get());
  list->Add(std::move(item));
  return raw;
}

}  // namespace

int CmdInit(const CommandArgs& args) {
  std::string folderArg, projectArg = "project.xml", title, publisher, version = "1.0.0.0";
  int folders = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kInitUsage, stdout);
      return 0;
    }
    if (a == "-o" || a == "--title" || a == "--publisher" || a == "--version") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "setupkit: init: %s needs a value\n", a.c_str());
        std::fputs(kInitUsage, stderr);
        return 2;
      }
      const std::string& v = args[++i];
      if (a == "-o") projectArg = v;
      else if (a == "--title") title = v;
      else if (a == "--publisher") publisher = v;
      else version = v;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "setupkit: init: unknown option '%s'\n", a.c_str());
      std::fputs(kInitUsage, stderr);
      return 2;
    } else {
      folderArg = a;
      ++folders;
    }
  }
  if (folders != 1) {
    std::fprintf(stderr, "setupkit: init: takes one folder, not %d\n", folders);
    std::fputs(kInitUsage, stderr);
    return 2;
  }

  const WideString folder = WithoutTrailingSeparators(ExpandFileName(Utf8ToWide(folderArg)));
  if (InspectHostEntry(folder).Kind != THostEntry::hekFolder)
    throw Exception(u"\"" + folder + u"\" is not a folder");
  const WideString project = ExpandFileName(Utf8ToWide(projectArg));
  const WideString projectDir = HostFolderOf(project);
  // The picture takes the project's name: project.xml, project.png.
  const WideString projectName = HostNameOf(project);
  const size_t dot = projectName.rfind(u'.');
  const WideString picture = JoinHostPath(projectDir, (dot == WideString::npos ? projectName : projectName.substr(0, dot)) + u".png");
  for (const WideString& target : {project, picture})
    if (FileExists(target)) throw Exception(u"\"" + target + u"\" exists already: init writes no file over another");

  const WideString productTitle = title.empty() ? HostNameOf(folder) : Utf8ToWide(title);
  if (Trim(productTitle).empty()) throw Exception(u"The product needs a title: give one with --title");
  const std::vector<THostFile> files = FindHostFiles(folder, u"*", true);
  if (files.empty()) throw Exception(u"\"" + folder + u"\" holds no file to install");

  TSetupScript script;
  // A new script's variables are a template's ({AppTitle} "AppTitle", ...);
  // this project needs none.
  script.VarList()->Clear();
  TSetupBaseInfo& info = *script.BaseInfo();
  info.AppTitleENG = productTitle;
  info.AppTitleCHS = productTitle;
  info.CompanyName = Utf8ToWide(publisher);
  info.Version = Utf8ToWide(version);
  info.GUID = TQvStrfn::NewGUIDString();
  info.DefInstallPath = u"{pf}\\{AppTitle}";
  info.IconFile = HostNameOf(picture);
  info.ProductName = productTitle;
  // One item for the whole folder: a file added later is packed by the
  // next build without touching the project.
  TSetupFile* all = Append<TSetupFile>(script.FileList());
  all->DestDir = u"{app}";
  all->SourcePath = SourcePathFor(folder, projectDir);
  all->SourceMask = u"*";
  all->IncludeSubPath = true;
  // A Start menu shortcut for each program at the folder's top; the
  // uninstaller that build adds is none of them.
  for (const THostFile& f : FindHostFiles(folder, u"*.exe", false)) {
    if (SameText(f.Name, u"Uninstall.exe")) continue;
    TSetupShortCut* link = Append<TSetupShortCut>(script.ShortCutList());
    link->Name = f.Name.substr(0, f.Name.size() - 4);
    link->DstFile = u"{app}\\" + f.Name;
    link->SaveDir = u"{group}";
    link->WorkDir = u"{app}";
  }

  TMemoryStream xml;
  script.SaveToStream(xml, 0);
  CreateHostFolders(projectDir.empty() ? u"." : projectDir);
  SaveFileAtomically(ProductPicturePng(productTitle, static_cast<uint32_t>(info.MainFormColor)), picture);
  SaveFileAtomically(xml.Bytes(), project);
  std::printf("%s: a project for the %d files under %s, with %d shortcut(s)\n%s: its product picture\n",
              WideToUtf8(project).c_str(), static_cast<int>(files.size()), WideToUtf8(folder).c_str(),
              script.ShortCutList()->Count(), WideToUtf8(picture).c_str());
  std::printf("next: setupkit build %s\n", projectArg.c_str());
  return 0;
}
