#include <gtest/gtest.h>

#include "MySetupUtils.h"
#include "QvSysUtils.h"

namespace {

// The folder values are process-wide; every test sets its own and puts the
// previous ones back.
class ExpandPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved_[0] = TSetupfn::ProgramFilesDir;
    saved_[1] = TSetupfn::DesktopDir;
    saved_[2] = TSetupfn::CommonProgramsDir;
    saved_[3] = TSetupfn::GroupName;
    saved_[4] = TSetupfn::AppDir;
    TSetupfn::ProgramFilesDir = u"C:\\Program Files";
    TSetupfn::DesktopDir = u"C:\\Users\\me\\Desktop\\";
    TSetupfn::CommonProgramsDir = u"C:\\ProgramData\\Start Menu\\Programs\\";
    TSetupfn::GroupName = u"";
    TSetupfn::AppDir = u"D:\\Apps\\Tool\\";
  }
  void TearDown() override {
    TSetupfn::ProgramFilesDir = saved_[0];
    TSetupfn::DesktopDir = saved_[1];
    TSetupfn::CommonProgramsDir = saved_[2];
    TSetupfn::GroupName = saved_[3];
    TSetupfn::AppDir = saved_[4];
  }
  static WideString Expand(const WideString& text, const WideString& title = u"Tool") {
    return TSetupfn::ExpandPath(text, title);
  }

private:
  WideString saved_[5];
};

TEST_F(ExpandPathTest, ReplacesEachFolderPlaceholderIgnoringCase) {
  EXPECT_EQ(Expand(u"{app}\\bin\\a.exe"), u"D:\\Apps\\Tool\\bin\\a.exe");
  EXPECT_EQ(Expand(u"{APP}a.exe"), u"D:\\Apps\\Tool\\a.exe");
  EXPECT_EQ(Expand(u"{pf}\\Vendor"), u"C:\\Program Files\\Vendor");
  EXPECT_EQ(Expand(u"{PF}{apptitle}"), u"C:\\Program FilesTool");
  EXPECT_EQ(Expand(u"{Desktop}\\x.lnk"), u"C:\\Users\\me\\Desktop\\x.lnk");
  EXPECT_EQ(Expand(u"{srcexe}"), ParamStr(0));
  EXPECT_EQ(Expand(u"{app}{app}"), u"D:\\Apps\\Tool\\D:\\Apps\\Tool\\");
  EXPECT_EQ(Expand(u"{unknown}\\{app"), u"{unknown}\\{app");
  EXPECT_EQ(Expand(u""), u"");
}

TEST_F(ExpandPathTest, GroupIsTheProgramsFolderWithTheGroupName) {
  EXPECT_EQ(Expand(u"{group}"), u"C:\\ProgramData\\Start Menu\\Programs\\");
  TSetupfn::GroupName = u"Sample Tool";
  EXPECT_EQ(Expand(u"{group}\\Tool.lnk"), u"C:\\ProgramData\\Start Menu\\Programs\\Sample Tool\\Tool.lnk");
  // The value when the shell has no such folder.
  TSetupfn::CommonProgramsDir = u"\\";
  EXPECT_EQ(Expand(u"{group}"), u"\\Sample Tool\\");
}

TEST_F(ExpandPathTest, InsertedTextIsExpandedByTheLaterSteps) {
  // The title comes first, so placeholders inside it are expanded.
  EXPECT_EQ(Expand(u"{AppTitle}", u"{pf}\\{app}"), u"C:\\Program Files\\D:\\Apps\\Tool\\");
  // A folder value is not expanded by earlier steps again.
  TSetupfn::AppDir = u"{pf}\\";
  EXPECT_EQ(Expand(u"{app}x"), u"{pf}\\x");
  TSetupfn::AppDir = u"";
  EXPECT_EQ(Expand(u"{app}\\bin"), u"\\bin");
}

TEST_F(ExpandPathTest, CollapsesDoubledBackslashesInOnePass) {
  EXPECT_EQ(Expand(u"a\\\\b"), u"a\\b");
  EXPECT_EQ(Expand(u"a\\\\\\b"), u"a\\\\b");      // three become two
  EXPECT_EQ(Expand(u"a\\\\\\\\b"), u"a\\\\b");    // four become two
  EXPECT_EQ(Expand(u"a\\b\\"), u"a\\b\\");
  // The value's own backslash counts: one plus two make three, which leave two.
  EXPECT_EQ(Expand(u"{app}\\\\x"), u"D:\\Apps\\Tool\\\\x");
}

TEST_F(ExpandPathTest, NetworkPathKeepsItsLeadingPair) {
  TSetupfn::AppDir = u"\\\\server\\share\\Tool\\";
  EXPECT_EQ(Expand(u"{app}\\bin"), u"\\\\server\\share\\Tool\\bin");
  EXPECT_EQ(Expand(u"\\\\server\\\\share\\\\x"), u"\\\\server\\share\\x");
  // Only a leading pair is a share; inside the text it collapses.
  EXPECT_EQ(Expand(u"x{app}"), u"x\\server\\share\\Tool\\");
  EXPECT_EQ(Expand(u"\\x\\\\y"), u"\\x\\y");
}

}  // namespace
