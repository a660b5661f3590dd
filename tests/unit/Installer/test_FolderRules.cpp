#include <gtest/gtest.h>

#include "FolderRules.h"
#include "QvSysUtils.h"

namespace {

using Paths = std::vector<WideString>;

// The list as the system gives it: mixed trailing backslashes, case as the
// shell spells it, and an empty entry for a folder the system lacks.
const Paths kShared = {u"C:\\Windows", u"C:\\Program Files (x86)\\", u"C:\\Users\\bob", u"C:\\Users\\",
                       u"C:\\Users\\Public\\Desktop", u"C:\\ProgramData\\", u""};

TEST(FolderRulesTest, RefusesRootsAndSharedFoldersInAnySpelling) {
  for (const char16_t* f :
       {u"C:\\", u"c:", u"D:\\\\", u"D:/", u"\\", u"", u"  ", u"\\\\server\\share\\", u"\\\\server\\share",
        u"c:\\windows\\", u"C:\\WINDOWS\\\\", u"C:/Windows/", u"C:\\program files (X86)", u"C:\\Users\\Bob\\",
        u"C:\\Users", u"c:\\users\\public\\desktop\\", u"C:\\ProgramData", u" C:\\ProgramData\\ "})
    EXPECT_TRUE(IsRefusedFolder(f, kShared)) << WideToUtf8(f);
  // Inside them, beside them, or a name that merely starts like one.
  for (const char16_t* f : {u"C:\\Program Files (x86)\\Vendor\\", u"C:\\Users\\bob\\Apps\\Tool", u"D:\\Tools\\",
                            u"\\\\server\\share\\apps\\", u"C:\\Windows2\\", u"C:\\ProgramData\\Vendor",
                            u"C:\\Users\\Public\\Desktop Tools\\"})
    EXPECT_FALSE(IsRefusedFolder(f, kShared)) << WideToUtf8(f);
}

TEST(FolderRulesTest, RelativeFoldersAreTheOnesWithoutDriveAndBackslash) {
  for (const char16_t* f : {u"Hello", u"D:Apps\\Hello", u"\\Apps\\Hello", u"C:", u".\\Hello", u"..\\Hello"})
    EXPECT_TRUE(IsRelativeFolder(f)) << WideToUtf8(f);
  for (const char16_t* f : {u"C:\\Apps\\Hello", u"c:/Apps", u" D:\\ ", u"\\\\server\\share\\Hello", u"C:\\Apps\\.\\Hello"})
    EXPECT_FALSE(IsRelativeFolder(f)) << WideToUtf8(f);
  EXPECT_EQ(WithOneTrailingBackslash(u"C:\\Apps\\\\\\"), u"C:\\Apps\\");
  EXPECT_EQ(WithOneTrailingBackslash(u"C:\\Apps"), u"C:\\Apps\\");
  EXPECT_EQ(WithOneTrailingBackslash(u"C:\\"), u"C:\\");
}

TEST(FolderRulesTest, BrowseAddsTheProductsFolderToARefusedChoiceOnly) {
  const WideString def = u"C:\\Program Files (x86)\\Hello World";
  EXPECT_EQ(BrowsedDestination(u"D:\\", def, u"Title", kShared), u"D:\\Hello World\\");
  EXPECT_EQ(BrowsedDestination(u"C:\\ProgramData\\", def + u"\\", u"Title", kShared),
            u"C:\\ProgramData\\Hello World\\");
  EXPECT_EQ(BrowsedDestination(u"C:\\Users\\Public\\Desktop\\", def, u"Title", kShared),
            u"C:\\Users\\Public\\Desktop\\Hello World\\");
  EXPECT_EQ(BrowsedDestination(u"D:\\Tools\\", def, u"Title", kShared), u"D:\\Tools\\");
  // A default with no folder of its own ("C:\", "D:") gives the title.
  EXPECT_EQ(BrowsedDestination(u"D:\\", u"C:\\", u"Title", kShared), u"D:\\Title\\");
  EXPECT_EQ(BrowsedDestination(u"D:\\", u"D:", u"Title", kShared), u"D:\\Title\\");
  // What it adds is never refused itself.
  EXPECT_FALSE(IsRefusedFolder(BrowsedDestination(u"C:\\Windows\\", def, u"Title", kShared), kShared));
}

TEST(FolderRulesTest, InsideProgramFilesAndWhatCreatingAFolderCreatesFirst) {
  const Paths pf = {u"C:\\Program Files\\", u"c:/program files (x86)", u""};
  for (const char16_t* f : {u"C:\\Program Files\\", u"C:\\PROGRAM FILES\\Vendor\\App", u"C:/Program Files (x86)/X/"})
    EXPECT_TRUE(IsInsideAnyFolder(f, pf)) << WideToUtf8(f);
  // A name that merely starts like one, and the empty entry.
  for (const char16_t* f : {u"C:\\Program Files Tools\\", u"C:\\Program\\", u"D:\\Apps\\", u"C:\\"})
    EXPECT_FALSE(IsInsideAnyFolder(f, pf)) << WideToUtf8(f);

  auto exists = [](const WideString& f) {
    for (const char16_t* e : {u"C:\\", u"D:\\", u"D:\\Apps\\"})
      if (SameText(f, e)) return true;
    return false;
  };
  EXPECT_EQ(TopmostMissingFolder(u"C:\\Hello\\Sub\\", +exists), u"C:\\Hello\\");
  EXPECT_EQ(TopmostMissingFolder(u"D:\\apps\\X", +exists), u"D:\\apps\\X\\");
  EXPECT_EQ(TopmostMissingFolder(u"D:\\Apps\\", +exists), u"");
  EXPECT_EQ(TopmostMissingFolder(u"E:\\New\\", +exists), u"E:\\New\\");
}

}  // namespace
