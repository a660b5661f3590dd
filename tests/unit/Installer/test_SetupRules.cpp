#include <gtest/gtest.h>

#include <memory>

#include "FileDataClasses.h"
#include "MySetupUtils.h"
#include "QvSysUtils.h"
#include "SetupProject.h"
#include "SetupRules.h"
#include "TestSupport.h"

namespace {

std::unique_ptr<TSetupBaseInfo> MakeTitles(const WideString& chs, const WideString& cht, const WideString& eng) {
  auto info = std::make_unique<TSetupBaseInfo>();
  info->AppTitleCHS = chs;
  info->AppTitleCHT = cht;
  info->AppTitleENG = eng;
  return info;
}
#define Titles(a, b, c) (*MakeTitles(a, b, c))

void AddImage(TFileDataBlobWriter& writer, const WideString& guid, const std::string& plain) {
  const std::string stored = Encoded(plain);
  writer.AddImage(guid, stored.data(), static_cast<int64_t>(stored.size()));
}

TEST(SetupRulesTest, LanguagesOfferedAndChosenWithoutADialog) {
  const auto all = OfferedLanguages(Titles(u"产品", u"產品", u"Product"));
  EXPECT_EQ(all, (std::vector<WideString>{u"CHS", u"CHT", u"ENG"}));
  const auto chsEng = OfferedLanguages(Titles(u"产品", u"", u"Product"));
  EXPECT_EQ(chsEng, (std::vector<WideString>{u"CHS", u"ENG"}));
  const auto chsCht = OfferedLanguages(Titles(u"产品", u"產品", u""));

  // US English is no offered code: English when offered, else Chinese.
  EXPECT_EQ(AutomaticLanguage(chsEng, u"ENU"), u"ENG");
  EXPECT_EQ(AutomaticLanguage(chsCht, u"ENU"), u"CHS");
  EXPECT_EQ(AutomaticLanguage(all, u"CHT"), u"CHT");
  EXPECT_EQ(AutomaticLanguage(chsEng, u"CHT"), u"ENG");
  // The offered list is searched ignoring case.
  EXPECT_EQ(IndexOfLanguage(all, u"eng"), 2);

  EXPECT_EQ(PreselectedLanguage(chsEng, u"ENU"), 1);
  EXPECT_EQ(PreselectedLanguage(chsCht, u"ENU"), 0);
  EXPECT_EQ(PreselectedLanguage(all, u"CHT"), 1);

  // An empty title in the chosen language falls back to the Chinese one.
  EXPECT_EQ(AppTitleFor(Titles(u"产品", u"", u""), u"ENG"), u"产品");
  EXPECT_EQ(AppTitleFor(Titles(u"产品", u"產品", u"Product"), u"CHT"), u"產品");
}

TEST(SetupRulesTest, CompletionAddressCarriesTheInstallerCode) {
  EXPECT_EQ(AppendRCode(u"http://x.example/done", u"Setup_20188"), u"http://x.example/done?rcode=20188");
  EXPECT_EQ(AppendRCode(u"http://x.example/done?a=1", u"Setup_20188 (2)"), u"http://x.example/done?a=1&rcode=20188");
  EXPECT_EQ(AppendRCode(u"http://x.example/", u"My_Setup_7"), u"http://x.example/");
  EXPECT_EQ(AppendRCode(u"http://x.example/", u"Setup"), u"http://x.example/");
  EXPECT_EQ(AppendRCode(u"http://x.example/", u"Setup_"), u"http://x.example/");
}

TEST(SetupRulesTest, UninstallEntryValues) {
  TSetupFileList files;
  auto add = [&files](int32_t bytes) {
    auto* f = new TSetupFile();
    f->FileBytes = bytes;
    files.Add(f);
  };
  add(1000);
  add(23);
  EXPECT_EQ(EstimatedSizeKB(files), 0u);  // 1023 bytes
  add(1);
  EXPECT_EQ(EstimatedSizeKB(files), 1u);  // 1024 bytes
  // Over 2 GB in all: the sum must not wrap around.
  add(2000000000);
  add(2000000000);
  EXPECT_EQ(EstimatedSizeKB(files), (4000001024u) / 1024u);

  EXPECT_EQ(InstallDateText(EncodeDate(2026, 3, 7) + 0.75), u"20260307");
  EXPECT_EQ(QuietUninstallString(u"C:\\Program Files (x86)\\Tool\\"),
            u"\"C:\\Program Files (x86)\\Tool\\Uninstall.exe\" /SILENT");
  // A drive root keeps one backslash after the colon.
  EXPECT_EQ(UninstallString(u"D:\\"), u"\"D:\\Uninstall.exe\"");
}

TEST(SetupRulesTest, PathsAreReadAsWindowsReadsThem) {
  EXPECT_EQ(NormalizedPath(u"C:/Apps\\\\Tool/./bin/../app.exe"), u"C:\\Apps\\Tool\\app.exe");
  EXPECT_EQ(NormalizedPath(u"c:\\Apps\\Tool\\app.exe. "), u"c:\\Apps\\Tool\\app.exe");
  EXPECT_EQ(NormalizedPath(u"C:\\Apps\\...\\app.exe"), u"C:\\Apps\\app.exe");
  EXPECT_EQ(NormalizedPath(u"C:\\Apps\\Tool\\"), u"C:\\Apps\\Tool\\");
  EXPECT_EQ(NormalizedPath(u"\\\\server\\share\\..\\x.exe"), u"");  // ".." may not climb over the share
  EXPECT_EQ(NormalizedPath(u"\\\\server\\share\\Tool\\..\\x.exe"), u"\\\\server\\share\\x.exe");
  EXPECT_EQ(NormalizedPath(u"C:\\..\\x.exe"), u"");
  EXPECT_EQ(NormalizedPath(u"Tool\\app.exe"), u"");  // relative: nobody knows where it runs from
  EXPECT_EQ(NormalizedPath(u"\\app.exe"), u"");
  EXPECT_EQ(NormalizedPath(u"C:app.exe"), u"");
}

// Run-list programs never come from a folder the system would search.
TEST(SetupRulesTest, ProgramsOfTheRunListsAreFoundInTheProductOrSystemFolderOnly) {
  const WideString app = u"C:\\Apps\\Tool\\", sys = u"C:\\Windows\\system32\\";
  std::vector<WideString> asked;
  auto inApp = [&asked](const WideString& path) { asked.push_back(path); return path == u"C:\\Apps\\Tool\\tool.exe"; };
  EXPECT_EQ(ProgramPath(u"tool.exe", app, sys, inApp), u"C:\\Apps\\Tool\\tool.exe");
  EXPECT_EQ(ProgramPath(u"tool", app, sys, inApp), u"C:\\Apps\\Tool\\tool.exe");
  EXPECT_EQ(ProgramPath(u"regsvr32.exe", app, sys, inApp), u"C:\\Windows\\system32\\regsvr32.exe");
  EXPECT_EQ(asked.back(), u"C:\\Apps\\Tool\\regsvr32.exe");  // the product's own copy is looked for first
  EXPECT_EQ(ProgramPath(u"cmd", app, sys, inApp), u"C:\\Windows\\system32\\cmd.exe");
  EXPECT_EQ(ProgramPath(u"bin/worker.exe", app, sys, inApp), u"C:\\Apps\\Tool\\bin\\worker.exe");
  EXPECT_EQ(ProgramPath(u"\\worker.exe", app, sys, inApp), u"C:\\Apps\\Tool\\worker.exe");
  EXPECT_EQ(ProgramPath(u"D:worker.cmd", app, sys, inApp), u"C:\\Apps\\Tool\\worker.cmd");
  EXPECT_EQ(ProgramPath(u"D:\\Other\\x.exe", app, sys, inApp), u"D:\\Other\\x.exe");
  EXPECT_EQ(ProgramPath(u"\\\\server\\share\\x", app, sys, inApp), u"\\\\server\\share\\x");
}

// The installer and the uninstaller end the processes that run from these
// paths and no others.
TEST(SetupRulesTest, OwnProgramsAreTheProductsExeFilesInsideItsFolder) {
  const WideString savedApp = TSetupfn::AppDir, savedPf = TSetupfn::ProgramFilesDir;
  TSetupfn::ProgramFilesDir = u"C:\\Program Files";
  TSetupfn::AppDir = u"C:\\Program Files\\Tool\\";
  TSetupFileList files;
  auto add = [&files](const WideString& dest, const WideString& mask, const WideString& newName = u"") {
    auto* f = new TSetupFile();
    f->DestDir = dest;
    f->SourceMask = mask;
    f->NewFileName = newName;
    files.Add(f);
  };
  add(u"{app}", u"Tool.EXE");
  add(u"{app}", u"Uninstall.exe");
  add(u"{app}\\bin", u"helper.exe", u"helper-renamed.exe");  // runs under the name it was installed with
  add(u"{app}\\bin", u"bin\\worker.exe");                    // a mask with its subfolder
  add(u"{app}\\bin\\..", u"tool.exe");                       // the same file again, spelt otherwise
  add(u"{app}", u"readme.txt");
  add(u"{app}", u"*.exe");
  add(u"{pf}\\Common Files\\Vendor", u"shared.exe");          // outside the product's folder
  add(u"{app}..\\Tool Beside", u"escape.exe");                 // climbs out of it
  add(u"{pf}\\Tool2", u"lookalike.exe");                      // a folder whose name begins alike
  add(u"C:\\Windows", u"notepad.exe");
  add(u"{app}", u"");
  EXPECT_EQ(OwnProgramPaths(files, u"Tool"), (std::vector<WideString>{
                                                 u"C:\\Program Files\\Tool\\Tool.EXE",
                                                 u"C:\\Program Files\\Tool\\Uninstall.exe",
                                                 u"C:\\Program Files\\Tool\\bin\\helper-renamed.exe",
                                                 u"C:\\Program Files\\Tool\\bin\\bin\\worker.exe",
                                             }));
  // A product installed into a drive's root still ends only its own files.
  TSetupfn::AppDir = u"D:\\";
  EXPECT_EQ(OwnProgramPaths(files, u"Tool"),
            (std::vector<WideString>{u"D:\\Tool.EXE", u"D:\\Uninstall.exe", u"D:\\bin\\helper-renamed.exe",
                                     u"D:\\bin\\bin\\worker.exe"}));
  // Without a usable folder nothing is ended.
  for (const WideString& dir : {WideString(u""), WideString(u"Tool\\"), WideString(u"\\")}) {
    TSetupfn::AppDir = dir;
    EXPECT_TRUE(OwnProgramPaths(files, u"Tool").empty()) << "AppDir=" << WideToUtf8(dir);
  }
  TSetupfn::AppDir = savedApp;
  TSetupfn::ProgramFilesDir = savedPf;
}

TEST(SetupRulesTest, CommandLinesTheInstallerStarts) {
  EXPECT_EQ(WaitedCommandLine(u"C:\\A B\\t.exe", u""), u"\"C:\\A B\\t.exe\" ");
  EXPECT_EQ(WaitedCommandLine(u"t.exe", u"/x 1"), u"\"t.exe\" /x 1");
}

TEST(SetupRulesTest, LicenseTextEncodingsAndLineBreaks) {
  EXPECT_EQ(LicenseTextFromBytes(std::string("\xFF\xFE" "A\0\r\0\n\0" "B\0", 10)), u"A\r\nB\r\n");
  EXPECT_EQ(LicenseTextFromBytes(std::string("\xFE\xFF\x4E\x2D\0\n", 6)), u"中\r\n");
  EXPECT_EQ(LicenseTextFromBytes("\xEF\xBB\xBF" "\xE4\xB8\xAD\r" "x\n\ny"), u"中\r\nx\r\n\r\ny\r\n");
  EXPECT_EQ(LicenseTextFromBytes(""), u"");
}

TEST(FileDataIndexTest, ImagesStayInTheBlobAndBadIndexesFailBeforeAnyFile) {
  TMemoryStream blob;
  TFileDataBlobWriter writer(blob);
  AddImage(writer, u"{A}", "first file");
  AddImage(writer, u"{B}", "second");
  writer.Finish();

  TFileDataList list;
  list.LoadIndexFromBlob(blob.Memory(), blob.GetSize());
  ASSERT_EQ(list.Count(), 2);
  const TResourceBytes image = list.Image(*list.FindByGUID(u"{B}"));
  EXPECT_EQ(Decoded(std::string(image.Data, static_cast<size_t>(image.Size))), "second");
  EXPECT_EQ(list.Items(0)->Data().GetSize(), 0);  // nothing copied

  // An entry that runs past the blob fails when the index is loaded.
  TMemoryStream bad;
  TFileDataBlobWriter w2(bad);
  const std::string x = Encoded("x");
  TFileData* e = w2.AddImage(u"{A}", x.data(), static_cast<int64_t>(x.size()));
  e->FBytes = 1000;
  w2.Finish();
  TFileDataList list2;
  EXPECT_EQ(MessageOf<EReadError>([&] { list2.LoadIndexFromBlob(bad.Memory(), bad.GetSize()); }),
            u"Stream read error");
}

TEST(SetupRulesTest, ProgramOfCommandLineIsWhatTheSystemStartsFirst) {
  EXPECT_EQ(ProgramOfCommandLine(u"\"C:\\Program Files\\X\\Uninstall.exe\" /SILENT"),
            u"C:\\Program Files\\X\\Uninstall.exe");
  EXPECT_EQ(ProgramOfCommandLine(u"  \"C:\\A B\\u.exe\""), u"C:\\A B\\u.exe");
  // Unquoted, a path with blanks starts what stands before the first one.
  EXPECT_EQ(ProgramOfCommandLine(u"C:\\Program Files\\X\\u.exe /S"), u"C:\\Program");
  EXPECT_EQ(ProgramOfCommandLine(u"C:\\X\\u.exe\t/S"), u"C:\\X\\u.exe");
  EXPECT_EQ(ProgramOfCommandLine(u"\"C:\\unclosed"), u"C:\\unclosed");
  EXPECT_EQ(ProgramOfCommandLine(u""), u"");
}

}  // namespace
