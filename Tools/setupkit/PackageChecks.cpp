#include "PackageChecks.h"

#include "PackageBuilder.h"

#include <cstring>
#include <map>
#include <type_traits>
#include <memory>

#include "HostFiles.h"
#include "QvClasses.h"
#include "QvSysUtils.h"
#include "ScriptFile.h"
#include "SetupProject.h"

namespace {

// The placeholders the installer replaces by folders; each stands for a
// whole folder, so text right after one ("{app}README.txt") starts a new
// path component.
const WideString kFolderPlaceholders[] = {u"{app}", u"{pf}", u"{group}", u"{desktop}"};
// Every placeholder the installer replaces in a path (it matches them with
// their case as written).
const WideString kPathPlaceholders[] = {u"{app}", u"{pf}", u"{group}", u"{desktop}", u"{AppTitle}", u"{srcexe}"};


bool IsPlaceholder(const WideString& s) {
  for (const WideString& p : kPathPlaceholders)
    if (s == p) return true;
  return false;
}

WideString WithoutPlaceholders(WideString s) {
  for (const WideString& p : kPathPlaceholders) s = StringReplace(s, p, WideString());
  return s;
}

bool IsDrive(const WideString& s) {
  return s.size() == 2 && s[1] == u':' && ((s[0] >= u'A' && s[0] <= u'Z') || (s[0] >= u'a' && s[0] <= u'z'));
}

// The components of a destination folder as the installer will make it:
// folder placeholders end a component, doubled separators and "." vanish,
// ".." climbs.
std::vector<WideString> DestComponents(const WideString& destDir) {
  WideString s = destDir;
  for (const WideString& p : kFolderPlaceholders) s = StringReplace(s, p, p + u"\\");
  std::vector<WideString> parts;
  WideString cur;
  auto flush = [&] {
    if (cur == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!cur.empty() && cur != u".") {
      parts.push_back(cur);
    }
    cur.clear();
  };
  for (WideChar c : s) {
    if (IsHostSeparator(c)) flush();
    else cur += c;
  }
  flush();
  return parts;
}

WideString Join(const std::vector<WideString>& parts, size_t count) {
  WideString s;
  for (size_t i = 0; i < count && i < parts.size(); ++i) s += (i ? u"\\" : u"") + parts[i];
  return s;
}

std::vector<WideString> SplitHostPath(const WideString& path) {
  std::vector<WideString> parts(1);
  for (WideChar c : path) {
    if (IsHostSeparator(c)) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

WideString CharText(WideChar c) {
  if (c < 0x20) return u"the control character U+" + IntToHex(c, 4);
  return u"\"" + WideString(1, c) + u"\"";
}

// Only the characters, for a component with placeholders in it: what a
// placeholder stands for is only known on the user's machine.
WideString ForbiddenCharProblem(const WideString& text) {
  static const WideString kForbidden = u"<>:\"/\\|?*";
  for (WideChar c : text)
    if (c < 0x20 || kForbidden.find(c) != WideString::npos) return CharText(c) + u" is not allowed in a Windows name";
  return WideString();
}

const char* RootKeyName(int k) {
  static const char* const kNames[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKCC"};
  return k >= 0 && k < 5 ? kNames[k] : "?";
}

// An enumeration field as the number it holds. The loader stores whatever
// number a file gives, and reading a value outside the enumeration through
// its own type is undefined, so the bytes are read as their integer type.
template <class E>
int RawValue(const E& field) {
  std::underlying_type_t<E> v;
  std::memcpy(&v, &field, sizeof v);
  return static_cast<int>(v);
}

bool HasDigit(const WideString& s) {
  for (WideChar c : s)
    if (c >= u'0' && c <= u'9') return true;
  return false;
}

class TChecker {
public:
  TChecker(const TSetupScript& script, const std::vector<WideString>& paths, const WideString& projectDir,
           TPackageCheck& out)
      : FScript(script), FPaths(paths), FProjectDir(projectDir), FOut(out) {}

  void Run() {
    CheckFileNames();
    CheckInstallSettings();
  }

private:
  struct TDest {
    WideString Path;  // as written, "\"-separated
    size_t Source;    // index of the file item
  };

  // A source file as the user knows it: below the project folder, relative.
  WideString Shown(const WideString& path) const {
    if (!FProjectDir.empty() && path.size() > FProjectDir.size() && path.compare(0, FProjectDir.size(), FProjectDir) == 0) {
      size_t from = FProjectDir.size();
      if (!IsHostSeparator(FProjectDir.back())) {
        if (!IsHostSeparator(path[from])) return path;
        ++from;
      }
      return path.substr(from);
    }
    return path;
  }

  void NameError(const WideString& text) {
    for (const WideString& e : FOut.NameErrors)
      if (e == text) return;  // a folder shared by many files is reported once
    FOut.NameErrors.push_back(text);
  }

  WideString SourceOf(size_t i) const { return i < FPaths.size() ? FPaths[i] : WideString(); }

  void CheckFileNames() {
    const TSetupFileList& list = *FScript.FileList();
    std::map<WideString, TDest> files, folders;
    for (int i = 0; i < list.Count(); ++i) {
      const TSetupFile& f = *list.Items(i);
      const size_t index = static_cast<size_t>(i);
      const WideString source = SourceOf(index);
      const WideString shown = Shown(source.empty() ? f.SourceMask : source);
      const std::vector<WideString> dest = DestComponents(f.DestDir);

      // A destination folder that repeats the end of the source file's
      // folder came from the source tree (IncludeSubPath): name that
      // folder. Anything before it is the item's own DestDir.
      const std::vector<WideString> src = SplitHostPath(source);
      size_t fromTree = 0;
      while (fromTree < dest.size() && fromTree + 1 < src.size() &&
             dest[dest.size() - 1 - fromTree] == src[src.size() - 2 - fromTree])
        ++fromTree;
      for (size_t k = 0; k < dest.size(); ++k) {
        const WideString& c = dest[k];
        if (IsPlaceholder(c) || (k == 0 && IsDrive(c))) continue;
        const bool hasPlaceholder = WithoutPlaceholders(c) != c;
        WideString why = hasPlaceholder ? ForbiddenCharProblem(WithoutPlaceholders(c)) : WindowsNameProblem(c);
        if (why.empty() && hasPlaceholder && !c.empty() && c.back() != u'}' && (c.back() == u'.' || c.back() == u' '))
          why = WindowsNameProblem(c.substr(c.size() - 1));
        if (why.empty()) continue;
        if (k >= dest.size() - fromTree) {
          // dest[k] is src[src.size() - 1 - (dest.size() - k)]: name the source folder up to it.
          NameError(Shown(HostPrefix(source, src.size() - dest.size() + k)) + u": " + why);
        } else {
          NameError(shown + u": destination folder \"" + f.DestDir + u"\": " + why);
        }
      }

      const bool renamed = !f.NewFileName.empty();
      const WideString name = renamed ? f.NewFileName : f.SourceMask;
      const WideString why = WindowsNameProblem(name);
      if (!why.empty()) NameError(renamed ? shown + u": new name \"" + name + u"\": " + why : shown + u": " + why);

      // Collisions under Windows' case-insensitive comparison.
      const WideString folder = Join(dest, dest.size());
      const WideString full = folder.empty() ? name : folder + u"\\" + name;
      const WideString key = FoldNameCase(full);
      auto hit = files.find(key);
      if (hit == files.end()) {
        files.emplace(key, TDest{full, index});
      } else if (!(SourceOf(hit->second.Source) == source && hit->second.Path == full)) {
        NameError(shown + u": \"" + full + u"\" has the same Windows name as \"" + hit->second.Path + u"\" of " +
                  Shown(SourceOf(hit->second.Source)));
      }
      for (size_t k = 1; k <= dest.size(); ++k) folders.emplace(FoldNameCase(Join(dest, k)), TDest{Join(dest, k), index});
    }
    for (const auto& entry : files) {
      auto clash = folders.find(entry.first);
      if (clash == folders.end()) continue;
      NameError(Shown(SourceOf(entry.second.Source)) + u": the file \"" + entry.second.Path +
                u"\" has the same Windows name as the folder \"" + clash->second.Path + u"\" of " +
                Shown(SourceOf(clash->second.Source)));
    }
    FFileKeys = std::move(files);
  }

  // The first count fields of a host path as SplitHostPath cuts it, taken
  // from the path itself so that its own separators stay.
  static WideString HostPrefix(const WideString& path, size_t count) {
    size_t fields = 1;
    for (size_t i = 0; i < path.size(); ++i) {
      if (!IsHostSeparator(path[i])) continue;
      if (fields == count) return path.substr(0, i);
      ++fields;
    }
    return path;
  }

  // True when text names a file of the package through {app}.
  bool DeliversFile(const WideString& text) const {
    const std::vector<WideString> parts = DestComponents(text);
    return FFileKeys.count(FoldNameCase(Join(parts, parts.size()))) != 0;
  }

  void CheckInstallSettings() {
    const TSetupBaseInfo& info = *FScript.BaseInfo();
    const TSetupRegList& regs = *FScript.RegList();
    for (int i = 0; i < regs.Count(); ++i) {
      const TSetupReg& r = *regs.Items(i);
      const int root = RawValue(r.RootKey), type = RawValue(r.ValueType);
      const WideString what = Format(u"registry item %d (%s\\%s, value \"%s\")",
                                     {i + 1, Utf8ToWide(RootKeyName(root)), r.SubKey, r.ValueName});
      if (root < rrkClassesRoot || root > rrkCurrentConfig)
        FOut.InstallErrors.push_back(what + Format(u": unknown RootKey %d", {root}));
      if (type < rvtString || type > rvtDWord)
        FOut.InstallErrors.push_back(what + Format(u": unknown ValueType %d", {type}));
      int32_t value;
      if (type == rvtDWord && !TryStrToInt(r.ValueData, value))
        FOut.InstallErrors.push_back(what + u": DWord data \"" + r.ValueData +
                                     u"\" is not a valid integer (the installer would stop half-way)");
    }

    if (!DeliversFile(u"{app}\\Uninstall.exe"))
      FOut.Warnings.push_back(u"no file item delivers {app}\\Uninstall.exe, where the uninstall entry points");
    const TSetupShortCutList& links = *FScript.ShortCutList();
    for (int i = 0; i < links.Count(); ++i) {
      const TSetupShortCut& s = *links.Items(i);
      if (s.DstFile.compare(0, 5, u"{app}") == 0 && !DeliversFile(s.DstFile))
        FOut.Warnings.push_back(u"shortcut \"" + s.Name + u"\": DstFile \"" + s.DstFile +
                                u"\" names no file of the package");
    }
    const TSetupRunList& runs = *FScript.RunList();
    for (int i = 0; i < runs.Count(); ++i) {
      const TSetupRun& r = *runs.Items(i);
      if (r.Wait && r.FileName.compare(0, 5, u"{app}") == 0 && !DeliversFile(r.FileName))
        FOut.Warnings.push_back(Format(u"program %d (waited for): FileName \"%s\" names no file of the package",
                                       {i + 1, r.FileName}));
    }

    int32_t major, minor, release, build;
    info.DecodeVersion(major, minor, release, build);
    if (major == 0 && !HasDigit(info.Version))
      FOut.InstallErrors.push_back(u"Version \"" + info.Version + u"\" has no number");
    if (Trim(info.GUID).empty())
      FOut.InstallErrors.push_back(u"BaseInfo has no GUID: it names the product's uninstall entry, so every setup "
                                   u"of the product needs the same one; add GUID=\"" + TQvStrfn::NewGUIDString() +
                                   u"\" (a fresh one) to BaseInfo");
  }

  const TSetupScript& FScript;
  const std::vector<WideString>& FPaths;
  WideString FProjectDir;
  TPackageCheck& FOut;
  std::map<WideString, TDest> FFileKeys;
};

void Section(WideString& text, const char16_t* heading, const std::vector<WideString>& lines) {
  if (lines.empty()) return;
  if (!text.empty()) text += u"\n";
  text += heading;
  for (const WideString& l : lines) text += u"\n  " + l;
}

}  // namespace

WideString TPackageCheck::ErrorReport() const {
  WideString text;
  Section(text, u"the product has names Windows cannot hold:", NameErrors);
  Section(text, u"the product folder has links that cannot be packed:", LinkErrors);
  Section(text, u"the setup would not start:", StartErrors);
  Section(text, u"the setup would fail at install time:", InstallErrors);
  return text;
}

WideString WindowsNameProblem(const WideString& name) {
  if (name.empty()) return u"an empty name";
  WideString why = ForbiddenCharProblem(name);
  if (!why.empty()) return why;
  if (name == u"." || name == u"..") return u"\"" + name + u"\" is not a name";
  if (name.back() == u'.') return u"a Windows name cannot end in a dot";
  if (name.back() == u' ') return u"a Windows name cannot end in a space";
  // Device names are reserved whatever follows the first dot, in any case;
  // Windows also drops spaces before that dot.
  WideString base = name.substr(0, name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  const WideString upper = UpperCase(base);
  static const WideString kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL"};
  bool reserved = false;
  for (const WideString& d : kDevices) reserved = reserved || upper == d;
  if (upper.size() == 4 && (upper.compare(0, 3, u"COM") == 0 || upper.compare(0, 3, u"LPT") == 0) && upper[3] >= u'1' &&
      upper[3] <= u'9')
    reserved = true;
  if (reserved) return u"\"" + base + u"\" is a reserved device name on Windows";
  return WideString();
}

// Simple case folding (one unit to one unit, the C and S mappings of the
// Unicode case folding data) for Basic Latin, Latin-1 Supplement, Latin
// Extended-A, Greek and Coptic, and Cyrillic with its Supplement
// (U+0000-U+052F). Other units are returned unchanged, so names in other
// scripts only match when they are equal.
WideChar FoldNameCase(WideChar c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<WideChar>(c + 32) : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x3BC;  // micro sign: Greek mu
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<WideChar>(c + 32);
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;  // no simple folding
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return u's';
    // Upper case on even units here, on odd units from U+0139 to U+0148
    // and from U+0179 on.
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    return ((c & 1) != 0) == oddUpper ? static_cast<WideChar>(c + 1) : c;
  }
  if (c >= 0x370 && c < 0x400) {
    switch (c) {
      case 0x370: case 0x372: case 0x376: return static_cast<WideChar>(c + 1);
      case 0x37F: return 0x3F3;
      case 0x386: return 0x3AC;
      case 0x38C: return 0x3CC;
      case 0x38E: case 0x38F: return static_cast<WideChar>(c + 63);
      case 0x3C2: return 0x3C3;  // final sigma
      case 0x3CF: return 0x3D7;
      case 0x3D0: return 0x3B2;
      case 0x3D1: return 0x3B8;
      case 0x3D5: return 0x3C6;
      case 0x3D6: return 0x3C0;
      case 0x3F0: return 0x3BA;
      case 0x3F1: return 0x3C1;
      case 0x3F4: return 0x3B8;
      case 0x3F5: return 0x3B5;
      case 0x3F7: case 0x3FA: return static_cast<WideChar>(c + 1);
      case 0x3F9: return 0x3F2;
      default: break;
    }
    if (c >= 0x388 && c <= 0x38A) return static_cast<WideChar>(c + 37);
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return static_cast<WideChar>(c + 32);
    if (c >= 0x3D8 && c <= 0x3EF && (c & 1) == 0) return static_cast<WideChar>(c + 1);
    if (c >= 0x3FD && c <= 0x3FF) return static_cast<WideChar>(c - 130);
    return c;
  }
  if (c >= 0x400 && c < 0x530) {
    if (c < 0x410) return static_cast<WideChar>(c + 80);
    if (c < 0x430) return static_cast<WideChar>(c + 32);
    if (c < 0x460) return c;
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? static_cast<WideChar>(c + 1) : c;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || c >= 0x4D0)
      return (c & 1) == 0 ? static_cast<WideChar>(c + 1) : c;
    return c;
  }
  return c;
}

WideString FoldNameCase(const WideString& s) {
  WideString out = s;
  for (WideChar& c : out) c = FoldNameCase(c);
  return out;
}

TPackageCheck FindPackageProblems(const TSetupScript& applied, const std::vector<WideString>& sourcePaths,
                                  const WideString& projectDir) {
  TPackageCheck out;
  TChecker(applied, sourcePaths, projectDir, out).Run();
  return out;
}

namespace {

// The first bytes of a file, at most limit of them; false when it cannot
// be opened or read.
bool ReadHostStart(const WideString& path, size_t limit, std::string& bytes) {
  try {
    if (InspectHostEntry(path).Kind != THostEntry::hekFile) return false;
    TFileStream in(path, fmOpenRead);
    bytes.resize(limit);
    const int64_t got = in.Read(&bytes[0], static_cast<int64_t>(limit));
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

std::vector<WideString> FindStartProblems(const TSetupBaseInfo& info, const WideString& projectDir) {
  std::vector<WideString> out;
  // The window's title, the uninstall entry's name and every message name
  // the product.
  if (Trim(info.AppTitleCHS).empty() && Trim(info.AppTitleCHT).empty() && Trim(info.AppTitleENG).empty())
    out.push_back(u"AppTitleCHS, AppTitleCHT and AppTitleENG are all empty: the installer names the product "
                  u"in its window and messages");
  // The window shows the product's picture and the uninstaller keeps it:
  // without one, or with one the installer cannot read, setup cannot
  // start on any machine.
  if (Trim(info.IconFile).empty()) {
    out.push_back(u"IconFile is empty: the installer's window shows the product's picture, a PNG file, and "
                  u"cannot start without one");
  } else {
    const WideString path = ResolveHostPath(projectDir, info.IconFile);
    std::string png;
    if (!ReadHostStart(path, 64, png)) {
      out.push_back(u"IconFile \"" + info.IconFile + u"\": the file \"" + path + u"\" cannot be read");
    } else if (!IsPngData(png) || png.size() < 24 || png.compare(12, 4, "IHDR") != 0 ||
               (png[16] == 0 && png[17] == 0 && png[18] == 0 && png[19] == 0) ||
               (png[20] == 0 && png[21] == 0 && png[22] == 0 && png[23] == 0)) {
      out.push_back(u"IconFile \"" + info.IconFile + u"\": \"" + path +
                    u"\" is not a PNG picture (the installer reads PNG only)");
    }
  }
  // A license the window shows: a file that reads as text in the encoding
  // its byte-order mark names (UTF-16 or UTF-8), else in the ANSI code
  // page, which no text fills with zero bytes.
  const struct {
    const char16_t* Attribute;
    const WideString& File;
  } licenses[] = {{u"LicenseFileCHS", info.LicenseFileCHS},
                  {u"LicenseFileCHT", info.LicenseFileCHT},
                  {u"LicenseFileENG", info.LicenseFileENG}};
  for (const auto& l : licenses) {
    if (Trim(l.File).empty()) continue;
    const WideString path = ResolveHostPath(projectDir, l.File);
    const WideString named = WideString(l.Attribute) + u" \"" + l.File + u"\": \"" + path + u"\"";
    std::string bytes;
    if (!ReadHostStart(path, 16u << 20, bytes)) {
      out.push_back(named + u" cannot be read");
      continue;
    }
    bool nonAscii = false;
    const bool utf16 = bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                             (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
    if (utf16) {
      if (bytes.size() % 2 != 0) out.push_back(named + u" is not UTF-16 text: it has an odd number of bytes");
    } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      if (!IsValidUtf8(bytes.substr(3), nonAscii)) out.push_back(named + u" is marked as UTF-8 but is not UTF-8 text");
    } else if (bytes.find('\0') != std::string::npos) {
      out.push_back(named + u" is not text (it holds zero bytes; UTF-16 text needs its byte-order mark)");
    }
  }
  return out;
}

std::vector<WideString> CheckPackage(const TSetupScript& applied, const std::vector<WideString>& sourcePaths,
                                     const WideString& projectDir, bool startNeeds) {
  TPackageCheck check = FindPackageProblems(applied, sourcePaths, projectDir);
  if (startNeeds) check.StartErrors = FindStartProblems(*applied.BaseInfo(), projectDir);
  if (check.HasErrors()) throw EPackageCheckError(check.ErrorReport());
  return std::move(check.Warnings);
}

TPackageCheck CheckProjectFile(const WideString& projectFile) {
  const WideString file = ExpandFileName(projectFile);
  const WideString projectDir = HostFolderOf(file);
  TSetupScript script;
  LoadScriptDocument(file, script);
  ApplyVariablesToItems(script);

  // The build's expansion, without times or contents: one item per file.
  TPackageCheck out;
  std::vector<WideString> paths;
  std::vector<std::unique_ptr<TXmlPersistent>> concrete;
  TSetupFileList* list = script.FileList();
  for (int i = 0; i < list->Count(); ++i) {
    const TSetupFile* item = list->Items(i);
    if (item->SourceMask.empty()) {
      out.InstallErrors.push_back(Format(u"file item %d (destination \"%s\") has no SourceMask", {i + 1, item->DestDir}));
      continue;
    }
    const WideString folder = ResolveHostPath(projectDir, item->SourcePath);
    const std::vector<THostFile> found = FindHostFiles(folder, item->SourceMask, item->IncludeSubPath, &out.LinkErrors);
    if (found.empty())
      out.InstallErrors.push_back(u"file item " + IntToStr(i + 1) + u": no file matches \"" + item->SourceMask +
                                  u"\" in \"" + folder + u"\"");
    for (const THostFile& f : found) {
      paths.push_back(f.Path);
      concrete.push_back(ItemForHostFile(*item, f));
    }
  }
  list->Clear();
  for (auto& c : concrete) list->Add(std::move(c));

  TPackageCheck found = FindPackageProblems(script, paths, projectDir);
  // Links are named like every other source file: below the project.
  for (WideString& l : out.LinkErrors) l = StringReplace(l, u"\"" + projectDir, u"\"");
  found.LinkErrors = std::move(out.LinkErrors);
  found.InstallErrors.insert(found.InstallErrors.begin(), out.InstallErrors.begin(), out.InstallErrors.end());
  found.StartErrors = FindStartProblems(*script.BaseInfo(), projectDir);
  return found;
}
