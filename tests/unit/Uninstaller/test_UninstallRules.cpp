#include <gtest/gtest.h>

#include <memory>

#include "PackageBuilder.h"
#include "QvSysUtils.h"
#include "SetupProject.h"
#include "UninstallRules.h"

namespace {

using Paths = std::vector<WideString>;

TEST(UninstallRulesTest, FollowsOnlyAbsolutePathsThatStayWhereTheySay) {
  for (const char16_t* p : {u"C:\\Program Files\\Tool\\a.exe", u"C:\\Tool\\sub dir\\file.name.txt",
                            u"\\\\server\\share\\Tool\\a.dll", u"C:\\Tool\\..data"})
    EXPECT_TRUE(IsSafeAbsolutePath(p)) << WideToUtf8(p);
  for (const char16_t* p : {u"C:\\Tool\\..\\Windows\\x.dll", u"C:\\Tool\\..", u"C:\\Tool\\...\\x", u"C:\\Tool\\.\\x",
                            u"C:\\Tool\\. .\\x", u"C:\\Tool\\\\x", u"Tool\\a.exe", u"\\Tool\\a.exe", u"C:a.exe",
                            u"C:\\", u"C:\\Tool\\*.*", u"C:\\Tool\\a?.exe", u"\\\\server\\share", u"C:\\Tool/../x"})
    EXPECT_FALSE(IsSafeAbsolutePath(p)) << WideToUtf8(p);
}

TEST(UninstallRulesTest, PrunesTouchedFoldersDeepestFirstUpToTheTop) {
  const Paths touched = {u"C:\\App\\data\\sub\\", u"C:\\APP\\data\\", u"C:\\App\\bin", u"C:\\Other\\x\\",
                         u"C:\\Application\\"};
  const Paths folders = FoldersToPrune(touched, u"C:\\App");
  EXPECT_EQ(folders, (Paths{u"C:\\App\\data\\sub\\", u"C:\\App\\data\\", u"C:\\App\\bin\\", u"C:\\App\\"}));
  EXPECT_TRUE(FoldersToPrune({u"C:\\Other\\"}, u"C:\\App\\").empty());
  EXPECT_EQ(FoldersToPrune({u"C:\\App\\"}, u"C:\\App\\"), (Paths{u"C:\\App\\"}));
}

TEST(UninstallRulesTest, ALinkOnTheWayIntoTheProductsFolderIsFoundFirst) {
  Paths asked;
  auto linkAt = [&asked](const WideString& link) {
    return [&asked, link](const WideString& p) { asked.push_back(p); return SameText(p, link); };
  };
  EXPECT_EQ(FirstLinkOnTheWay(u"C:\\App\\bin\\x\\f.dll", u"C:\\App", linkAt(u"C:\\App\\bin\\x")), u"C:\\App\\bin\\x");
  EXPECT_EQ(asked, (Paths{u"C:\\App\\bin", u"C:\\App\\bin\\x"}));  // the file itself is not asked
  EXPECT_EQ(FirstLinkOnTheWay(u"C:\\App\\f.dll", u"C:\\App\\", linkAt(u"C:\\App\\f.dll")), u"");
  EXPECT_EQ(FirstLinkOnTheWay(u"D:\\Other\\bin\\f.dll", u"C:\\App\\", linkAt(u"D:\\Other\\bin")), u"");
}

TEST(UninstallRulesTest, ParentKeysStopBelowTheRoot) {
  EXPECT_EQ(ParentKeysToPrune(u"Software\\Vendor\\Product\\Settings"),
            (Paths{u"Software\\Vendor\\Product", u"Software\\Vendor"}));
  // "Software" itself is never among them.
  EXPECT_TRUE(ParentKeysToPrune(u"\\Software\\Vendor\\").empty());
  EXPECT_TRUE(ParentKeysToPrune(u"Software").empty());
  EXPECT_TRUE(ParentKeysToPrune(u"").empty());
}

TEST(UninstallRulesTest, EntryNameLanguageAndDataForm) {
  EXPECT_TRUE(IsUsableEntryName(u"{6C1B7E2A-0D55-4E0C-9A51-3F1B2C3D4E01}"));
  for (const char16_t* g : {u"", u"  ", u"..", u"{A}\\..", u"a/b"}) EXPECT_FALSE(IsUsableEntryName(g));

  TSetupBaseInfo info;
  info.AppTitleCHS = u"产品";
  info.AppTitleENG = u"Product";
  EXPECT_EQ(UninstallLanguage(info, u"cht", u"ENU"), u"CHT");  // recorded wins, whatever is offered
  EXPECT_EQ(UninstallLanguage(info, u"", u"ENU"), u"ENG");
  EXPECT_EQ(UninstallLanguage(info, u"FRA", u"CHS"), u"CHS");

  EXPECT_TRUE(LooksLikePlainXml("\xEF\xBB\xBF\r\n  <?xml version=\"1.0\"?><TSetupScript/>"));
  EXPECT_FALSE(LooksLikePlainXml(std::string("\x78\xDB\x49", 3)));
  EXPECT_FALSE(LooksLikePlainXml(""));
}

TEST(UninstallRulesTest, BuildAddsTheUninstallerOnlyWhereTheProductHasNone) {
  TSetupScript script;
  auto add = [&script](const WideString& dir, const WideString& mask, const WideString& newName) {
    std::unique_ptr<TXmlPersistent> item(new TSetupFile());
    auto* f = static_cast<TSetupFile*>(item.get());
    f->DestDir = dir;
    f->SourceMask = mask;
    f->NewFileName = newName;
    script.FileList()->Add(std::move(item));
  };
  add(u"{app}\\bin", u"Uninstall.exe", u"");
  add(u"{app}", u"uninst.exe", u"");
  EXPECT_FALSE(DeliversUninstaller(script));
  add(u"{APP}\\", u"tool.exe", u"uninstall.EXE");
  EXPECT_TRUE(DeliversUninstaller(script));
}

}  // namespace
