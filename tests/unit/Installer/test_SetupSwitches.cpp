// The command line's switches: the lone mode keeps its meaning, /Dir= and
// /Log= stand beside it in any order, and anything else asks for a window.
#include <gtest/gtest.h>

#include <vector>

#include "SetupSwitches.h"

namespace {

const std::vector<WideString> kModes{u"/Silent", u"/Auto"};

TCommandSwitches Parse(const std::vector<WideString>& args) { return ParseCommandSwitches(args, kModes, true); }

TEST(SetupSwitches, ModesAloneAndBesideAFolderAndALog) {
  EXPECT_EQ(Parse({u"/Silent"}).Mode, u"/Silent");
  EXPECT_EQ(Parse({u"/aUTO"}).Mode, u"/Auto");
  EXPECT_EQ(Parse({}).Mode, u"");
  EXPECT_EQ(Parse({u"/Bogus"}).Mode, u"");

  const TCommandSwitches all = Parse({u"/dir=D:\\Apps\\X Y", u"/SILENT", u"/LOG=C:\\logs\\x.log"});
  EXPECT_EQ(all.Mode, u"/Silent");
  EXPECT_TRUE(all.DirGiven);
  EXPECT_EQ(all.Dir, u"D:\\Apps\\X Y");
  EXPECT_TRUE(all.LogGiven);
  EXPECT_EQ(all.Log, u"C:\\logs\\x.log");

  // A value that kept its quotes loses one pair; an empty one is given,
  // for the destination check to refuse.
  const TCommandSwitches quoted = Parse({u"/Auto", u"/Dir=\"C:\\A B\""});
  EXPECT_EQ(quoted.Mode, u"/Auto");
  EXPECT_EQ(quoted.Dir, u"C:\\A B");
  const TCommandSwitches empty = Parse({u"/Dir=", u"/Silent"});
  EXPECT_EQ(empty.Mode, u"/Silent");
  EXPECT_TRUE(empty.DirGiven);
  EXPECT_EQ(empty.Dir, u"");

  // Alone, /Dir= fills the field of a run with a window.
  const TCommandSwitches alone = Parse({u"/Dir=C:\\X"});
  EXPECT_EQ(alone.Mode, u"");
  EXPECT_EQ(alone.Dir, u"C:\\X");

  // The last of a repeated switch counts; the same mode twice is one mode.
  EXPECT_EQ(Parse({u"/Dir=C:\\A", u"/Dir=C:\\B"}).Dir, u"C:\\B");
  EXPECT_EQ(Parse({u"/Silent", u"/silent"}).Mode, u"/Silent");
}

TEST(SetupSwitches, ContradictionsAndStrangersAskForAWindow) {
  EXPECT_EQ(Parse({u"/Silent", u"/Auto"}).Mode, u"");
  EXPECT_EQ(Parse({u"/Silent", u"/Bogus"}).Mode, u"");
  EXPECT_EQ(Parse({u"/Silent", u"/Directory=C:\\X"}).Mode, u"");
  EXPECT_EQ(Parse({u"/Silent", u"Dir=C:\\X"}).Mode, u"");
  // A stranger still leaves the folder it was given to the window.
  EXPECT_EQ(Parse({u"/Bogus", u"/Dir=C:\\X"}).Dir, u"C:\\X");

  // The uninstaller knows no /Dir=: it is a stranger there.
  const TCommandSwitches uninstall = ParseCommandSwitches({u"/SILENT", u"/Dir=C:\\X"}, {u"/SILENT"}, false);
  EXPECT_EQ(uninstall.Mode, u"");
  EXPECT_FALSE(uninstall.DirGiven);
  const TCommandSwitches logged = ParseCommandSwitches({u"/Log=u.log", u"/silent"}, {u"/SILENT"}, false);
  EXPECT_EQ(logged.Mode, u"/SILENT");
  EXPECT_EQ(logged.Log, u"u.log");
}

}  // namespace
