#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "Commands.h"
#include "QvClasses.h"
#include "QvSysUtils.h"
#include "SetupProject.h"

namespace {

const WideString kGuid = u"{01234567-89AB-CDEF-0123-456789ABCDEF}";
const WideString kVarGuid = u"{FEDCBA98-7654-3210-FEDC-BA9876543210}";

std::string Save(const TXmlPersistent& object) {
  TMemoryStream stream;
  object.SaveToStream(stream);
  return stream.Bytes();
}

void Load(TXmlPersistent& object, const std::string& xml) {
  TMemoryStream stream(xml);
  object.LoadFromStream(stream);
}

bool IsGuidString(const WideString& s) {
  if (s.size() != 38 || s.front() != u'{' || s.back() != u'}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    const WideChar c = s[i];
    if (dash ? c != u'-' : !((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) return false;
  }
  return true;
}

// ---- the default tree and its XML form -------------------------------------

TEST(SetupScript, DefaultScriptHasFreshGuidsAndTenVariables) {
  TSetupScript a, b;
  EXPECT_TRUE(IsGuidString(a.BaseInfo()->GUID)) << WideToUtf8(a.BaseInfo()->GUID);
  EXPECT_NE(a.BaseInfo()->GUID, b.BaseInfo()->GUID);
  ASSERT_NE(a.VarList()->FindVar(u"{GUID}"), nullptr);
  const WideString varGuid = a.VarList()->FindVar(u"{GUID}")->VarValue;
  EXPECT_TRUE(IsGuidString(varGuid));
  EXPECT_NE(varGuid, a.BaseInfo()->GUID);
  EXPECT_EQ(a.VarList()->Count(), 10);
  EXPECT_EQ(a.FileList()->Count() + a.RegList()->Count() + a.RunList()->Count() + a.UninstallRunList()->Count() +
                a.ShortCutList()->Count() + a.SwiperList()->Count(),
            0);
}

TEST(SetupScript, SavesDefaultScriptByteExact) {
  TSetupScript script;
  script.BaseInfo()->GUID = kGuid;
  script.VarList()->FindVar(u"{GUID}")->VarValue = kVarGuid;
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
      "<TSetupScript>\r\n"
      "    <BaseInfo AllowModify=\"False\" AppTitleCHS=\"\" AppTitleCHT=\"\" AppTitleENG=\"\" BuildMiniSetup=\"False\" "
      "CompanyName=\"\" CompanyUrl=\"\" Condition=\"\" DefInstallPath=\"\" FullDownloadUrl=\"\" FullSetupFile=\"\" "
      "GotoUrl=\"\" GotoUrlMode=\"gumSilent\" GUID=\"{01234567-89AB-CDEF-0123-456789ABCDEF}\" IconFile=\"\" "
      "IconResID=\"\" InstallFileDescription=\"\" LegalCopyright=\"\" LicenseCHSResID=\"\" LicenseCHTResID=\"\" "
      "LicenseENGResID=\"\" LicenseFileCHS=\"\" LicenseFileCHT=\"\" LicenseFileENG=\"\" MainFormColor=\"16750848\" "
      "MiniSetupFile=\"\" ProductName=\"\" UninstallFileDescription=\"\" Version=\"\" WinVersion=\"wveWinXPOrHigher\"/>\r\n"
      "    <FileList>\r\n"
      "        <Items/>\r\n"
      "    </FileList>\r\n"
      "    <RegList>\r\n"
      "        <Items/>\r\n"
      "    </RegList>\r\n"
      "    <RunList>\r\n"
      "        <Items/>\r\n"
      "    </RunList>\r\n"
      "    <UninstallRunList>\r\n"
      "        <Items/>\r\n"
      "    </UninstallRunList>\r\n"
      "    <ShortCutList>\r\n"
      "        <Items/>\r\n"
      "    </ShortCutList>\r\n"
      "    <SwiperList>\r\n"
      "        <Items/>\r\n"
      "    </SwiperList>\r\n"
      "    <VarList>\r\n"
      "        <Items>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{AppTitle}\" VarValue=\"AppTitle\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{Version}\" VarValue=\"1.0.0.0\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{MainExeName}\" VarValue=\"MyApp\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{GUID}\" VarValue=\"{FEDCBA98-7654-3210-FEDC-BA9876543210}\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{AppID}\" VarValue=\"10033\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{Copyright}\" VarValue=\"\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{CompanyName}\" VarValue=\"\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{CompanyUrl}\" VarValue=\"\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{DefaultFolder}\" VarValue=\"\"/>\r\n"
      "            <TSetupVar Checked=\"True\" VarName=\"{Condition}\" VarValue=\"\"/>\r\n"
      "        </Items>\r\n"
      "    </VarList>\r\n"
      "</TSetupScript>\r\n";
  EXPECT_EQ(Save(script), expected);
}

// One item of every class, with every property set apart from its default.
void FillScript(TSetupScript& s) {
  TSetupBaseInfo& b = *s.BaseInfo();
  b.AllowModify = true;
  b.AppTitleCHS = u"示例程序";
  b.AppTitleCHT = u"示例程式";
  b.AppTitleENG = u"Sample \"Tool\" & <Co>";
  b.BuildMiniSetup = true;
  b.CompanyName = u"Sample Co.";
  b.CompanyUrl = u"http://example.com/?a=1&b=2";
  b.Condition = u"cond";
  b.DefInstallPath = u"{pf}\\Sample";
  b.FullDownloadUrl = u"http://example.com/full.exe";
  b.FullSetupFile = u"full.exe";
  b.GotoUrl = u"http://example.com/done";
  b.GotoUrlMode = gumByBrowser;
  b.GUID = kGuid;
  b.IconFile = u"icon.png";
  b.IconResID = u"ICON";
  b.InstallFileDescription = u"line1\r\nline2\tend";
  b.LegalCopyright = u"(c) 'Sample'";
  b.LicenseCHSResID = u"LCHS";
  b.LicenseCHTResID = u"LCHT";
  b.LicenseENGResID = u"LENG";
  b.LicenseFileCHS = u"chs.txt";
  b.LicenseFileCHT = u"cht.txt";
  b.LicenseFileENG = u"eng.txt";
  b.MainFormColor = 0x00123456;
  b.MiniSetupFile = u"mini.exe";
  b.ProductName = u"Sample";
  b.UninstallFileDescription = u"Uninstaller";
  b.Version = u"2.5.1.1234";
  b.WinVersion = wveWin10OrHigher;

  auto* f = new TSetupFile();
  f->Checked = false;
  f->Condition = u"c1";
  f->DestDir = u"{app}\\bin";
  f->FileBytes = 123456;
  f->IncludeSubPath = true;
  f->LastWriteDate = 45123.5;
  f->ResID = kVarGuid;
  f->SourceMask = u"a.exe";
  f->SourcePath = u"C:\\src\\";
  f->NewFileName = u"b.exe";
  s.FileList()->Add(f);

  auto* r = new TSetupReg();
  r->Condition = u"c2";
  r->RootKey = rrkLocalMachine;
  r->SubKey = u"Software\\Sample";
  r->ValueData = u"42";
  r->ValueName = u"Answer";
  r->ValueType = rvtDWord;
  s.RegList()->Add(r);

  auto* run = new TSetupRun();
  run->FileName = u"{app}a.exe";
  run->Params = u"/x";
  run->Wait = true;
  run->WorkDir = u"{app}";
  s.RunList()->Add(run);

  auto* u = new TUninstallRun();
  u->FileName = u"{app}u.exe";
  u->Params = u"/u";
  u->WaitSeconds = 30;
  u->WaitType = urwWaitSeconds;
  u->WorkDir = u"{app}";
  s.UninstallRunList()->Add(u);

  auto* sc = new TSetupShortCut();
  sc->DstFile = u"{app}a.exe";
  sc->IconFile = u"{app}a.ico";
  sc->Name = u"Sample";
  sc->SaveDir = u"{desktop}";
  sc->WorkDir = u"{app}";
  s.ShortCutList()->Add(sc);

  auto* sw = new TSetupSwiper();
  sw->FileName = u"slide1.png";
  sw->ResID = u"SLIDE1";
  s.SwiperList()->Add(sw);

  s.VarList()->Clear();
  auto* v = new TSetupVar();
  v->Checked = false;
  v->VarName = u"{X}";
  v->VarValue = u"y";
  s.VarList()->Add(v);
}

TEST(SetupScript, WritesItemsWithClassNamesAndAttributesInDeclarationOrder) {
  TSetupScript script;
  FillScript(script);
  const std::string xml = Save(script);
  const char* lines[] = {
      "            <TSetupFile Checked=\"False\" Condition=\"c1\" DestDir=\"{app}\\bin\" FileBytes=\"123456\" "
      "IncludeSubPath=\"True\" LastWriteDate=\"45123.5\" ResID=\"{FEDCBA98-7654-3210-FEDC-BA9876543210}\" "
      "SourceMask=\"a.exe\" SourcePath=\"C:\\src\\\" NewFileName=\"b.exe\"/>\r\n",
      "            <TSetupReg Checked=\"True\" Condition=\"c2\" RootKey=\"rrkLocalMachine\" SubKey=\"Software\\Sample\" "
      "ValueData=\"42\" ValueName=\"Answer\" ValueType=\"rvtDWord\"/>\r\n",
      "            <TSetupRun Checked=\"True\" Condition=\"\" FileName=\"{app}a.exe\" Params=\"/x\" Wait=\"True\" "
      "WorkDir=\"{app}\"/>\r\n",
      "            <TUninstallRun Checked=\"True\" Condition=\"\" FileName=\"{app}u.exe\" Params=\"/u\" WaitSeconds=\"30\" "
      "WaitType=\"urwWaitSeconds\" WorkDir=\"{app}\"/>\r\n",
      "            <TSetupShortCut Checked=\"True\" Condition=\"\" DstFile=\"{app}a.exe\" IconFile=\"{app}a.ico\" "
      "Name=\"Sample\" SaveDir=\"{desktop}\" WorkDir=\"{app}\"/>\r\n",
      "            <TSetupSwiper Checked=\"True\" Condition=\"\" FileName=\"slide1.png\" ResID=\"SLIDE1\"/>\r\n",
      "            <TSetupVar Checked=\"False\" VarName=\"{X}\" VarValue=\"y\"/>\r\n",
  };
  size_t last = 0;
  for (const char* line : lines) {
    const size_t at = xml.find(line);
    ASSERT_NE(at, std::string::npos) << line << "\nin\n" << xml;
    EXPECT_GT(at, last) << "out of order: " << line;
    last = at;
  }
  EXPECT_NE(xml.find("GotoUrlMode=\"gumByBrowser\""), std::string::npos);
  EXPECT_NE(xml.find("MainFormColor=\"1193046\""), std::string::npos);
  EXPECT_NE(xml.find("AppTitleENG=\"Sample &quot;Tool&quot; &amp; &lt;Co&gt;\""), std::string::npos);
}

TEST(SetupScript, RoundTripKeepsEveryProperty) {
  TSetupScript original;
  FillScript(original);
  original.FileList()->Items(0)->LastWriteDate = 45123.123456789012;  // more digits than are kept
  TSetupScript copy;
  Load(copy, Save(original));

  EXPECT_NEAR(copy.FileList()->Items(0)->LastWriteDate, 45123.123456789012, 1e-9);
  copy.FileList()->Items(0)->LastWriteDate = original.FileList()->Items(0)->LastWriteDate;

  EXPECT_TRUE(copy.BaseInfo()->SameAs(original.BaseInfo()));
  EXPECT_TRUE(copy.FileList()->SameItems(original.FileList()));
  EXPECT_TRUE(copy.RegList()->SameItems(original.RegList()));
  EXPECT_TRUE(copy.RunList()->SameItems(original.RunList()));
  EXPECT_TRUE(copy.UninstallRunList()->SameItems(original.UninstallRunList()));
  EXPECT_TRUE(copy.ShortCutList()->SameItems(original.ShortCutList()));
  EXPECT_TRUE(copy.SwiperList()->SameItems(original.SwiperList()));
  EXPECT_TRUE(copy.VarList()->SameItems(original.VarList()));
  EXPECT_EQ(Save(copy), Save(original));
}

// ---- reading older and partial documents ------------------------------------

TEST(SetupScript, OlderSingleLanguageAttributesWinAndAreNotWritten) {
  TSetupScript script;
  Load(script,
       "<TSetupScript><BaseInfo AppTitleCHS=\"New\" AppTitle=\"Old &amp; kept\" LicenseFileCHS=\"new.txt\" "
       "LicenseFile=\"old.txt\" LicenseResID=\"OLDRES\" AppTitleENG=\"English\"/></TSetupScript>");
  const TSetupBaseInfo& b = *script.BaseInfo();
  EXPECT_EQ(b.AppTitleCHS, u"Old & kept");
  EXPECT_EQ(b.LicenseFileCHS, u"old.txt");
  EXPECT_EQ(b.LicenseCHSResID, u"OLDRES");
  EXPECT_EQ(b.AppTitleENG, u"English");
  const std::string xml = Save(script);
  EXPECT_EQ(xml.find("AppTitle="), std::string::npos);
  EXPECT_EQ(xml.find("LicenseFile="), std::string::npos);
  EXPECT_EQ(xml.find("LicenseResID="), std::string::npos);
}

TEST(SetupScript, MissingElementsKeepWhatTheConstructorMade) {
  TSetupScript script;
  const WideString guid = script.BaseInfo()->GUID;
  // No BaseInfo and no VarList; a present but empty FileList replaces its items.
  script.FileList()->Add(new TSetupFile());
  Load(script, "<?xml version=\"1.0\"?><Anything><FileList><Items/></FileList></Anything>");
  EXPECT_EQ(script.BaseInfo()->GUID, guid);
  EXPECT_EQ(script.VarList()->Count(), 10);
  EXPECT_EQ(script.FileList()->Count(), 0);

  // A stored VarList replaces the defaults entirely.
  Load(script, "<TSetupScript><VarList><Items><TSetupVar VarName=\"{A}\" VarValue=\"1\"/></Items></VarList></TSetupScript>");
  ASSERT_EQ(script.VarList()->Count(), 1);
  EXPECT_EQ(script.VarList()->Items(0)->VarName, u"{A}");
  EXPECT_TRUE(script.VarList()->Items(0)->Checked);
}

TEST(SetupScript, ListsCreateTheirOwnItemClassWhateverTheElementName) {
  TSetupScript script;
  Load(script,
       "<TSetupScript><RegList><Items>"
       "<Whatever RootKey=\"rrkNoSuchRoot\" SubKey=\"a\"/>"
       "<TSetupFile RootKey=\"rrklocalmachine\" ValueType=\"RVTDWORD\"/>"
       "<TSetupReg RootKey=\"\" ValueType=\"rvtDWord\"/>"
       "</Items></RegList></TSetupScript>");
  ASSERT_EQ(script.RegList()->Count(), 3);
  EXPECT_EQ(script.RegList()->Items(0)->RootKey, rrkClassesRoot);
  EXPECT_EQ(script.RegList()->Items(0)->SubKey, u"a");
  EXPECT_EQ(script.RegList()->Items(1)->RootKey, rrkLocalMachine);
  EXPECT_EQ(script.RegList()->Items(1)->ValueType, rvtDWord);
  EXPECT_EQ(script.RegList()->Items(2)->RootKey, rrkClassesRoot);
  EXPECT_STREQ(script.RegList()->Items(-1)->ClassName(), "TSetupReg");
}

TEST(SetupScript, TypedItemsRefuseAForeignItem) {
  TSetupFileList files;
  files.Add(new TSetupReg());
  EXPECT_THROW(files.Items(0), EAssertionFailed);
  EXPECT_THROW(files.Items(1), EListError);
}

TEST(SetupScript, CloneCopiesTheWholeTree) {
  TSetupScript original;
  FillScript(original);
  std::unique_ptr<TXmlPersistent> clone = original.Clone();
  auto* copy = dynamic_cast<TSetupScript*>(clone.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->FileList()->Items(0), original.FileList()->Items(0));
  EXPECT_EQ(Save(*copy), Save(original));
}

// ---- DecodeVersion -----------------------------------------------------------

TEST(SetupBaseInfo, DecodeVersion) {
  struct Case {
    const char16_t* version;
    int32_t major, minor, release, build;
  } cases[] = {
      {u"2.5.1.1234", 2, 5, 1, 1234},
      {u"3.1beta", 3, 1, 0, 0},       // the failing part keeps its leading digits
      {u"3.beta.7.1", 3, 0, 0, 0},    // and nothing after it is read
      {u"", 0, 0, 0, 0},
      {u"1.2.3.4.5", 1, 2, 3, 4},
      {u"$10.0x1F.-2", 16, 31, -2, 0},
      {u" 1 . 2 3", 1, 2, 3, 0},      // blanks separate like dots
      {u"1..3", 1, 0, 0, 0},          // an empty part stops the decoding
      {u"7.", 7, 0, 0, 0},
      {u"99999999999.1", 999999999, 0, 0, 0},
  };
  for (const Case& c : cases) {
    TSetupBaseInfo info;
    info.Version = c.version;
    int32_t v[4] = {-9, -9, -9, -9};
    info.DecodeVersion(v[0], v[1], v[2], v[3]);
    EXPECT_EQ(v[0], c.major) << WideToUtf8(c.version);
    EXPECT_EQ(v[1], c.minor) << WideToUtf8(c.version);
    EXPECT_EQ(v[2], c.release) << WideToUtf8(c.version);
    EXPECT_EQ(v[3], c.build) << WideToUtf8(c.version);
  }
}

// ---- small operations ---------------------------------------------------------

TEST(SetupModel, RegRootKeyToHKEYGivesThePredefinedRoots) {
  EXPECT_EQ(RegRootKeyToHKEY(rrkClassesRoot), 0x80000000u);
  EXPECT_EQ(RegRootKeyToHKEY(rrkCurrentUser), 0x80000001u);
  EXPECT_EQ(RegRootKeyToHKEY(rrkLocalMachine), 0x80000002u);
  EXPECT_EQ(RegRootKeyToHKEY(rrkUsers), 0x80000003u);
  EXPECT_EQ(RegRootKeyToHKEY(rrkCurrentConfig), 0x80000005u);
  EXPECT_EQ(RegRootKeyToHKEY(static_cast<TRegRootKey>(7)), 0x80000001u);
}

TEST(SetupModel, NoWaitCountCountsProgramsNotWaitedFor) {
  TSetupRunList runs;
  EXPECT_EQ(runs.NoWaitCount(), 0);
  for (bool wait : {true, false, false}) {
    auto* r = new TSetupRun();
    r->Wait = wait;
    runs.Add(r);
  }
  EXPECT_EQ(runs.NoWaitCount(), 2);
}

// ---- script variables ----------------------------------------------------------

TSetupVar* AddVar(TSetupVarList& list, const WideString& name, const WideString& value, bool checked = true) {
  auto* v = new TSetupVar();
  v->VarName = name;
  v->VarValue = value;
  v->Checked = checked;
  list.Add(v);
  return v;
}

TEST(SetupVarList, DefaultsMatchWithoutRegardToCase) {
  TSetupVarList vars;
  EXPECT_EQ(vars.Expand(u"{version} / {VERSION} / {MainExeName}.exe"), u"1.0.0.0 / 1.0.0.0 / MyApp.exe");
  EXPECT_EQ(vars.Expand(u"[{Copyright}]{AppID}{unknown}"), u"[]10033{unknown}");
  EXPECT_EQ(vars.IndexOfVar(u"{appid}"), 4);
  EXPECT_EQ(vars.IndexOfVar(u"{AppID"), -1);
  EXPECT_EQ(vars.FindVar(u"{nothing}"), nullptr);
}

TEST(SetupVarList, EachVariableIsAppliedOnceInListOrder) {
  TSetupVarList forward;
  forward.Clear();
  AddVar(forward, u"{A}", u"{B}");
  AddVar(forward, u"{B}", u"x");
  EXPECT_EQ(forward.Expand(u"{A}{a}"), u"xx");

  TSetupVarList backward;
  backward.Clear();
  AddVar(backward, u"{B}", u"x");
  AddVar(backward, u"{A}", u"{B}");
  EXPECT_EQ(backward.Expand(u"{A}"), u"{B}");

  // A value holding its own name is not expanded again.
  TSetupVarList self;
  self.Clear();
  AddVar(self, u"{R}", u"<{R}>");
  EXPECT_EQ(self.Expand(u"{R}{R}"), u"<{R}><{R}>");
}

TEST(SetupVarList, UncheckedAndNamelessVariablesChangeNothing) {
  TSetupVarList vars;
  vars.Clear();
  AddVar(vars, u"{Off}", u"on", false);
  AddVar(vars, u"", u"!");
  EXPECT_EQ(vars.Expand(u"{Off} stays"), u"{Off} stays");
}

TEST(SetupVarList, VarByNameAndAddDefaultVarsReuseExistingNames) {
  TSetupVarList vars;
  TSetupVar* version = vars.FindVar(u"{Version}");
  version->VarValue = u"9.9";
  const WideString guid = vars.FindVar(u"{GUID}")->VarValue;
  TSetupVar* extra = vars.VarByName(u"{Extra}");
  EXPECT_EQ(vars.Count(), 11);
  EXPECT_EQ(vars.Items(-1), extra);
  EXPECT_TRUE(extra->Checked);
  EXPECT_TRUE(extra->VarValue.empty());
  EXPECT_EQ(vars.VarByName(u"{EXTRA}"), extra);

  vars.AddDefaultVars();
  EXPECT_EQ(vars.Count(), 11);
  EXPECT_EQ(vars.FindVar(u"{Version}"), version);
  EXPECT_EQ(version->VarValue, u"1.0.0.0");
  EXPECT_NE(vars.FindVar(u"{GUID}")->VarValue, guid);
}

TEST(SetupVarList, ApplyVariablesRewritesOnlyTheItemsTexts) {
  TSetupVarList vars;
  vars.Clear();
  AddVar(vars, u"{V}", u"v");

  TSetupFile f;
  f.Condition = f.DestDir = f.SourceMask = f.SourcePath = f.NewFileName = f.ResID = u"{V}";
  f.ApplyVariables(vars);
  EXPECT_EQ(f.Condition + f.DestDir + f.SourceMask + f.SourcePath + f.NewFileName, u"vvvvv");
  EXPECT_EQ(f.ResID, u"{V}");

  TSetupReg r;
  r.Condition = r.SubKey = r.ValueData = r.ValueName = u"{V}";
  static_cast<TBaseConditionItem&>(r).ApplyVariables(vars);  // through the virtual slot
  EXPECT_EQ(r.Condition + r.SubKey + r.ValueData + r.ValueName, u"vvvv");

  TSetupShortCut sc;
  sc.Condition = sc.DstFile = sc.IconFile = sc.Name = sc.SaveDir = sc.WorkDir = u"{V}";
  sc.ApplyVariables(vars);
  EXPECT_EQ(sc.Condition + sc.DstFile + sc.IconFile + sc.Name + sc.SaveDir + sc.WorkDir, u"vvvvvv");

  TSetupRun run;
  TUninstallRun un;
  run.Condition = run.Params = run.FileName = run.WorkDir = u"{V}";
  un.Condition = un.Params = un.FileName = un.WorkDir = u"{V}";
  run.ApplyVariables(vars);
  un.ApplyVariables(vars);
  EXPECT_EQ(run.Condition + run.Params + run.FileName + run.WorkDir, u"vvvv");
  EXPECT_EQ(un.Condition + un.Params + un.FileName + un.WorkDir, u"vvvv");

  TSetupSwiper sw;
  sw.Condition = sw.FileName = sw.ResID = u"{V}";
  sw.ApplyVariables(vars);
  EXPECT_EQ(sw.Condition + sw.FileName + sw.ResID, u"vv{V}");
}

// ---- setupkit script ------------------------------------------------------------

class ScriptCommandTest : public ::testing::Test {
protected:
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  std::string Write(const std::string& bytes) {
    path_ = std::filesystem::temp_directory_path() / ("setupkit_script_" + WideToUtf8(TQvStrfn::NewGUIDString()) + ".xml");
    std::ofstream(path_, std::ios::binary) << bytes;
    return path_.u8string();
  }
  std::filesystem::path path_;
};

TEST_F(ScriptCommandTest, PrintsTheScriptAsTheModelWritesIt) {
  TSetupScript script;
  FillScript(script);
  const std::string xml = Save(script);
  // Attributes that the model does not know are dropped.
  std::string input = xml;
  input.replace(input.find("<BaseInfo "), 10, "<BaseInfo Unknown=\"1\" ");
  const std::string file = Write(input);
  ::testing::internal::CaptureStdout();
  const int code = CmdScript({file});
  std::string expected = xml;
#ifdef _WIN32
  // The capture reads its file back in text mode, which drops the CRs.
  expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
#endif
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected);
  EXPECT_EQ(code, 0);
}

TEST_F(ScriptCommandTest, RefusesWhatIsNotAScript) {
  const std::string file = Write("just some text, no markup");
  try {
    CmdScript({file});
    ADD_FAILURE() << "no error for a file without XML";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(u"not a setup script: no XML element found"), WideString::npos) << e.what();
    EXPECT_NE(e.Message().find(Utf8ToWide(file)), WideString::npos) << e.what();
  }
  EXPECT_THROW(CmdScript({file + ".missing"}), EFOpenError);
  EXPECT_EQ(CmdScript({}), 2);
  EXPECT_EQ(CmdScript({file, "--xml"}), 2);
}

}  // namespace
