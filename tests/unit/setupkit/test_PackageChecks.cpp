#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "HostFiles.h"
#include "PackageChecks.h"
#include "QvSysUtils.h"
#include "SetupProject.h"

namespace fs = std::filesystem;

namespace {

// An applied, expanded script built in memory: one item per file, with the
// source path each came from.
struct TPackage {
  TSetupScript Script;
  std::vector<WideString> Paths;

  TPackage() {
    Script.BaseInfo()->Version = u"1.0";
    Script.BaseInfo()->GUID = u"{11111111-2222-3333-4444-555555555555}";
    File(u"/p/files/Uninstall.exe", u"{app}");
  }
  TSetupFile& File(const WideString& source, const WideString& destDir, const WideString& newName = WideString()) {
    auto* f = new TSetupFile();
    f->SourceMask = source.substr(source.rfind(u'/') + 1);
    f->DestDir = destDir;
    f->NewFileName = newName;
    Script.FileList()->Add(f);
    Paths.push_back(source);
    return *f;
  }
  TPackageCheck Check() const { return FindPackageProblems(Script, Paths, u"/p/"); }
};

std::string Lines(const std::vector<WideString>& lines) {
  std::string s;
  for (const WideString& l : lines) s += WideToUtf8(l) + "\n";
  return s;
}

// True when exactly one line starts with prefix and holds part.
bool Has(const std::vector<WideString>& lines, const std::string& prefix, const std::string& part) {
  int n = 0;
  for (const WideString& l : lines) {
    const std::string u = WideToUtf8(l);
    if (u.compare(0, prefix.size(), prefix) == 0 && u.find(part) != std::string::npos) ++n;
  }
  return n == 1;
}

}  // namespace

TEST(PackageChecks, NamesWindowsCannotHoldAreNamedBySourceAndReason) {
  TPackage p;
  p.File(u"/p/files/a:b.txt", u"{app}");
  p.File(u"/p/files/q?.txt", u"{app}");
  p.File(u"/p/files/back\x01slash.txt", u"{app}");
  p.File(u"/p/files/trailing. ", u"{app}");
  p.File(u"/p/files/dot.", u"{app}");
  p.File(u"/p/files/con.txt", u"{app}");
  p.File(u"/p/files/CON/in.txt", u"{app}\\CON");            // a folder of the source tree
  p.File(u"/p/files/ok.txt", u"{app}\\Data\\Lpt3");          // a folder the item names
  p.File(u"/p/files/ok2.txt", u"{app}\\x", u"aux ");         // the new name, spaces before nothing
  p.File(u"/p/files/ok3.txt", u"{app}\\x", u"sub|name.txt");
  p.File(u"/p/files/ok4.txt", u"{pf}\\{AppTitle}x?\\y");     // literal text beside a placeholder
  const TPackageCheck c = p.Check();
  const auto& e = c.NameErrors;
  EXPECT_TRUE(Has(e, "files/a:b.txt: ", "\":\" is not allowed")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/q?.txt: ", "\"?\" is not allowed")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/back", "U+0001")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/trailing. : ", "end in a space")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/dot.: ", "end in a dot")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/con.txt: ", "\"con\" is a reserved device name")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/CON: ", "\"CON\" is a reserved")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/ok.txt: destination folder \"{app}\\Data\\Lpt3\"", "\"Lpt3\" is a reserved")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/ok2.txt: new name \"aux \"", "end in a space")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/ok3.txt: new name", "\"|\" is not allowed")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/ok4.txt: destination folder", "\"?\" is not allowed")) << Lines(e);
  EXPECT_EQ(e.size(), 11u) << Lines(e);
  EXPECT_TRUE(c.InstallErrors.empty() && c.Warnings.empty()) << Lines(c.InstallErrors) << Lines(c.Warnings);
  EXPECT_THROW(CheckPackage(p.Script, p.Paths), EPackageCheckError);

  // What Windows does take: placeholders alone or joined to a name, a
  // drive, "..", names that only start like a device, dots inside.
  TPackage good;
  good.File(u"/p/files/conx.txt", u"{app}");
  good.File(u"/p/files/COM10", u"{pf}\\{AppTitle}\\..\\Tools");
  good.File(u"/p/files/a.b.c", u"C:\\Program Files\\{AppTitle} Suite");
  good.File(u"/p/files/lpt", u"{group}");
  good.File(u"/p/files/x", u"{desktop}\\{srcexe}", u"new name.txt");
  good.File(u"/p/files/größe-中文.txt", u"{app}bin");
  const TPackageCheck ok = good.Check();
  EXPECT_FALSE(ok.HasErrors()) << WideToUtf8(ok.ErrorReport());
  EXPECT_TRUE(CheckPackage(good.Script, good.Paths).empty());
}

TEST(PackageChecks, CaseFoldingCollisionsBeyondAscii) {
  EXPECT_EQ(FoldNameCase(u"ÄÖÜ ÀÞ ĀĹŽ Ÿ ΣΆΏ Ως ЁЯЀ Ѣ Ӂ Ԯ ſ µ"), u"äöü àþ āĺž ÿ σάώ ωσ ёяѐ ѣ ӂ ԯ s μ");
  // Already folded, and outside the covered ranges: unchanged.
  EXPECT_EQ(FoldNameCase(u"äß×÷ıİ中文"), u"äß×÷ıİ中文");

  TPackage p;
  p.File(u"/p/files/Readme.txt", u"{app}");
  p.File(u"/p/files/README.txt", u"{app}");
  p.File(u"/p/files/Ä.txt", u"{app}\\Ελλάδα");
  p.File(u"/p/files/ä.txt", u"{app}\\ΕΛΛΆΔΑ");
  p.File(u"/p/files/Привет", u"{app}");            // a file ...
  p.File(u"/p/files/привет/x.txt", u"{app}\\привет");  // ... and a folder of one name
  p.File(u"/p/files/Readme.txt", u"{app}");        // the same file twice is no collision
  const TPackageCheck c = p.Check();
  const auto& e = c.NameErrors;
  EXPECT_TRUE(Has(e, "files/README.txt: ", "same Windows name as \"{app}\\Readme.txt\" of files/Readme.txt")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/ä.txt: ", "as \"{app}\\Ελλάδα\\Ä.txt\" of files/Ä.txt")) << Lines(e);
  EXPECT_TRUE(Has(e, "files/Привет: the file \"{app}\\Привет\"", "the folder \"{app}\\привет\" of files/привет/x.txt"))
      << Lines(e);
  EXPECT_EQ(e.size(), 3u) << Lines(e);
  const WideString report = c.ErrorReport();
  EXPECT_EQ(report.find(u"the product has names Windows cannot hold:\n  files/"), 0u) << WideToUtf8(report);
}

TEST(PackageChecks, WhatWouldFailAtInstallTime) {
  TPackage p;
  auto reg = [&](int root, int type, const WideString& data) {
    auto* r = new TSetupReg();
    // As the loader stores a number read from a file: the bytes, not a cast.
    std::memcpy(&r->RootKey, &root, sizeof r->RootKey);
    std::memcpy(&r->ValueType, &type, sizeof r->ValueType);
    r->SubKey = u"Software\\T";
    r->ValueName = u"V";
    r->ValueData = data;
    p.Script.RegList()->Add(r);
  };
  reg(rrkLocalMachine, rvtDWord, u"42");
  reg(rrkLocalMachine, rvtDWord, u"-7");
  reg(rrkCurrentUser, rvtString, u"not a number, but a string");
  reg(rrkLocalMachine, rvtDWord, u"12a");  // item 4
  reg(rrkLocalMachine, rvtDWord, u"");     // item 5
  reg(9, rvtString, u"x");                 // item 6
  reg(rrkUsers, 5, u"x");                  // item 7
  p.Script.BaseInfo()->Version = u"beta";
  p.Script.BaseInfo()->GUID = u"";
  auto shortcut = [&](const WideString& dst) {
    auto* s = new TSetupShortCut();
    s->Name = u"S " + dst;
    s->DstFile = dst;
    p.Script.ShortCutList()->Add(s);
  };
  shortcut(u"{app}Uninstall.exe");  // {app} carries its own backslash
  shortcut(u"{app}\\bin\\missing.exe");
  shortcut(u"C:\\Windows\\notepad.exe");  // outside the package: not ours to judge
  auto run = [&](const WideString& file, bool wait) {
    auto* r = new TSetupRun();
    r->FileName = file;
    r->Wait = wait;
    p.Script.RunList()->Add(r);
  };
  run(u"{app}\\UNINSTALL.EXE", true);
  run(u"{app}\\setup-helper.exe", true);
  run(u"{app}\\later.exe", false);  // started by the user at the end, may come from elsewhere

  TPackageCheck c = p.Check();
  const auto& e = c.InstallErrors;
  EXPECT_TRUE(Has(e, "registry item 4 (HKLM\\Software\\T, value \"V\")", "\"12a\" is not a valid integer")) << Lines(e);
  EXPECT_TRUE(Has(e, "registry item 5 ", "\"\" is not a valid integer")) << Lines(e);
  EXPECT_TRUE(Has(e, "registry item 6 ", "unknown RootKey 9")) << Lines(e);
  EXPECT_TRUE(Has(e, "registry item 7 ", "unknown ValueType 5")) << Lines(e);
  EXPECT_TRUE(Has(e, "Version \"beta\"", "has no number")) << Lines(e);
  EXPECT_TRUE(Has(e, "BaseInfo has no GUID", "add GUID=")) << Lines(e);
  EXPECT_EQ(e.size(), 6u) << Lines(e);
  EXPECT_TRUE(c.NameErrors.empty()) << Lines(c.NameErrors);
  const auto& w = c.Warnings;
  EXPECT_TRUE(Has(w, "shortcut \"S {app}\\bin\\missing.exe\"", "names no file of the package")) << Lines(w);
  EXPECT_TRUE(Has(w, "program 2 (waited for): FileName \"{app}\\setup-helper.exe\"", "names no file")) << Lines(w);
  EXPECT_EQ(w.size(), 2u) << Lines(w);
  try {
    CheckPackage(p.Script, p.Paths);
    ADD_FAILURE() << "no exception";
  } catch (const EPackageCheckError& x) {
    EXPECT_EQ(x.Message().find(u"the setup would fail at install time:\n  registry item 4"), 0u) << x.what();
  }

  // A version that starts with a number is read as far as it goes, and
  // the uninstaller missing is only a warning.
  TPackage q;
  q.Script.BaseInfo()->Version = u"2.0 beta";
  q.Script.FileList()->Clear();
  q.Paths.clear();
  q.File(u"/p/files/app.exe", u"{app}");
  const std::vector<WideString> warnings = CheckPackage(q.Script, q.Paths);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(u"{app}\\Uninstall.exe"), WideString::npos);
}

TEST(PackageChecks, LinksAreFollowedOrRefusedByName) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
  const fs::path root = fs::path(testing::TempDir()) / "package_checks_links";
  fs::remove_all(root);
  fs::create_directories(root / "tree" / "sub");
  fs::create_directories(root / "outside");
  std::ofstream(root / "outside" / "real.txt") << "content";
  std::ofstream(root / "tree" / "sub" / "a.txt") << "a";
  fs::create_symlink(root / "outside" / "real.txt", root / "tree" / "link.txt");
  fs::create_directory_symlink(root / "outside", root / "tree" / "outlink");
  const WideString tree = Utf8ToWide((root / "tree").string());

  std::vector<THostFile> found = FindHostFiles(tree, u"*", true);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].Name, u"link.txt");
  EXPECT_EQ(found[0].Size, 7u);  // the target's size
  EXPECT_EQ(found[1].RelativeDir + u"\\" + found[1].Name, u"outlink\\real.txt");
  EXPECT_EQ(found[2].RelativeDir, u"sub");

  fs::create_symlink("gone.txt", root / "tree" / "dangling.txt");
  fs::create_symlink("loop", root / "tree" / "sub" / "loop");
  fs::create_directory_symlink("..", root / "tree" / "sub" / "up");
  fs::create_directory_symlink(root / "tree" / "sub", root / "outside" / "back");
  std::vector<WideString> problems;
  found = FindHostFiles(tree, u"*", true, &problems);
  EXPECT_EQ(found.size(), 3u);  // outlink/real.txt, link.txt, sub/a.txt
  ASSERT_EQ(problems.size(), 4u) << Lines(problems);
  const std::string all = Lines(problems);
  EXPECT_NE(all.find("dangling.txt\" is a link to \"gone.txt\" that does not exist"), std::string::npos) << all;
  EXPECT_NE(all.find("loop\" is a link that leads to itself"), std::string::npos) << all;
  EXPECT_NE(all.find("sub/up\" is a link to the folder"), std::string::npos) << all;
  EXPECT_NE(all.find("outlink/back\" is a link to the folder"), std::string::npos) << all;
  // Without a list to fill, the walk refuses them all at once.
  try {
    FindHostFiles(tree, u"*", true);
    ADD_FAILURE() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(u"dangling.txt"), WideString::npos);
    EXPECT_NE(e.Message().find(u"sub/up"), WideString::npos);
  }
  // A flat walk only minds links its mask could have taken.
  EXPECT_EQ(FindHostFiles(tree, u"link*", false).size(), 1u);
  EXPECT_THROW(FindHostFiles(tree, u"*.txt", false), EFOpenError);
  fs::remove_all(root);
#endif
}
