#include <gtest/gtest.h>

#include "TestSupport.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "Commands.h"
#include "HostFiles.h"
#include "MySetupUtils.h"
#include "PackageBuilder.h"
#include "PackageReader.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace fs = std::filesystem;

namespace {

const std::string kStub = std::string(SETUPKIT_TEST_DATA) + "/stub_res.exe";

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

WideString W(const fs::path& p) { return Utf8ToWide(p.string()); }

class PackageBuilderTest : public testing::Test {
protected:
  void SetUp() override {
    root = fs::path(testing::TempDir()) / ("pkg_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root);
    fs::create_directories(root);
    // The product picture that every setup needs.
    Put(root / "icon.png", Slurp(fs::path(SETUPKIT_TEST_DATA) / "icon.png"));
  }
  void TearDown() override { fs::remove_all(root); }

  // A project with the given file items and base attributes, and the
  // picture unless they name another.
  fs::path Project(const std::string& baseAttributes, const std::string& fileItems) {
    const fs::path p = root / "project.xml";
    const std::string icon = baseAttributes.find("IconFile=") == std::string::npos ? "IconFile=\"icon.png\" " : "";
    Put(p, "<TSetupScript><BaseInfo GUID=\"{11111111-2222-3333-4444-555555555555}\" Version=\"1.0\" AppTitleENG=\"T\" " +
               icon + baseAttributes + "/><FileList><Items>" + fileItems + "</Items></FileList></TSetupScript>");
    return p;
  }

  TBuildOptions Options(const fs::path& project) {
    TBuildOptions o;
    o.ProjectFile = W(project);
    o.StubFile = Utf8ToWide(kStub);
    o.FullOutput = W(root / "out" / "Setup.exe");
    // The products here hold exactly the files they name; in the Windows
    // build the Uninstall.exe beside the test program would be added.
    o.NoUninstaller = true;
    return o;
  }

  bool OutputFolderHoldsOnlySetups() {
    if (!fs::exists(root / "out")) return true;
    for (auto& e : fs::directory_iterator(root / "out"))
      if (e.path().extension() != ".exe") return false;
    return true;
  }

  fs::path root;
};

TEST_F(PackageBuilderTest, BuildThenReadGivesEveryFileBack) {
  Put(root / "src" / "a.txt", "alpha");
  Put(root / "src" / "empty.dat", "");
  std::string big(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
  Put(root / "src" / "sub" / "big.bin", big);
  Put(root / "logs" / "run.log", "log");
  Put(root / "lic.txt", "\xe8\xae\xb8\xe5\x8f\xaf");  // UTF-8 without a mark
  const fs::path project =
      Project("IconFile=\"icon.png\" LicenseFileCHS=\"lic.txt\" BuildMiniSetup=\"True\" MiniSetupFile=\"out\\mini.exe\"",
              "<TSetupFile DestDir=\"{app}\" SourcePath=\"src\" SourceMask=\"*\" IncludeSubPath=\"True\"/>"
              "<TSetupFile DestDir=\"{app}\" SourcePath=\"logs\" SourceMask=\"*.LOG\" NewFileName=\"x.log\"/>");
  TBuildOptions o = Options(project);
  o.Jobs = 3;
  const TBuildResult r = BuildPackage(o);
  EXPECT_EQ(r.Files, 4);
  EXPECT_EQ(r.OnlineSetup, W(root / "out" / "mini.exe"));

  TPackageReader full(r.FullSetup);
  ASSERT_FALSE(full.IsOnline());
  const TSetupFileList& files = *full.Script().FileList();
  ASSERT_EQ(files.Count(), 4);
  // Sorted by folder, then name; subfolders keep their place under DestDir.
  EXPECT_EQ(files.Items(0)->SourceMask, u"a.txt");
  EXPECT_EQ(files.Items(2)->DestDir, u"{app}\\sub");
  EXPECT_EQ(files.Items(2)->SourceMask, u"big.bin");
  EXPECT_EQ(files.Items(2)->FileBytes, static_cast<int32_t>(big.size()));
  EXPECT_EQ(files.Items(3)->NewFileName, u"x.log");
  EXPECT_EQ(files.Items(3)->SourceMask, u"run.log");
  for (int i = 0; i < files.Count(); ++i) {
    EXPECT_EQ(files.Items(i)->ResID.size(), 38u);
    EXPECT_GT(files.Items(i)->LastWriteDate, 40000.0);
  }
  const TFileData* data = full.FileData()->FindByGUID(files.Items(2)->ResID);
  ASSERT_NE(data, nullptr);
  TMemoryStream decoded(data->Data().Bytes());
  TSetupfn::DecodeStream(decoded);
  EXPECT_TRUE(decoded.Bytes() == big);
  // An empty file has no data entry.
  EXPECT_EQ(full.FileData()->FindByGUID(files.Items(1)->ResID), nullptr);

  const TSetupBaseInfo& info = *full.Script().BaseInfo();
  TMemoryStream license;
  ReadPackageResource(full.Resources(), WideToUtf8(info.LicenseCHSResID), license);
  EXPECT_EQ(license.Bytes(), "\xEF\xBB\xBF\xe8\xae\xb8\xe5\x8f\xaf");
  EXPECT_TRUE(info.LicenseENGResID.empty());
  EXPECT_TRUE(PackageResourceExists(full.Resources(), WideToUtf8(info.IconResID)));

  TPackageReader online(r.OnlineSetup);
  EXPECT_TRUE(online.IsOnline());
  EXPECT_EQ(online.Script().FileList()->Count(), 0);
  EXPECT_EQ(online.FileData(), nullptr);
  EXPECT_EQ(online.Script().BaseInfo()->IconResID, info.IconResID);
  EXPECT_FALSE(PackageResourceExists(online.Resources(), FileDataResID));
}

TEST_F(PackageBuilderTest, ExtractRestoresFilesAndTimes) {
  Put(root / "src" / "one.txt", "1");
  Put(root / "src" / "d" / "two.txt", "22");
  SetFileLastWriteLocal(W(root / "src" / "d" / "two.txt"), EncodeDate(2020, 7, 1) + EncodeTime(12, 30, 15, 250));
  const fs::path project =
      Project("", "<TSetupFile DestDir=\"{app}\\bin\" SourcePath=\"src\" SourceMask=\"*.txt\" IncludeSubPath=\"True\"/>");
  BuildPackage(Options(project));
  const fs::path out = root / "x";
  ASSERT_EQ(CmdExtract({(root / "out" / "Setup.exe").string(), out.string()}), 0);
  EXPECT_EQ(Slurp(out / "{app}" / "bin" / "one.txt"), "1");
  EXPECT_EQ(Slurp(out / "{app}" / "bin" / "d" / "two.txt"), "22");
  EXPECT_NEAR(UnixMsToLocalDateTime(FileLastWriteUnixMs(W(out / "{app}" / "bin" / "d" / "two.txt"))),
              EncodeDate(2020, 7, 1) + EncodeTime(12, 30, 15, 250), 1.0 / 86400000 * 2);
  EXPECT_NE(Slurp(out / "script.xml").find("<TSetupScript>"), std::string::npos);
}

TEST_F(PackageBuilderTest, FailuresNameTheCauseAndWriteNothing) {
  Put(root / "src" / "a.txt", "a");
  auto expectFailure = [&](const TBuildOptions& o, const std::u16string& fragment) {
    try {
      BuildPackage(o);
      ADD_FAILURE() << "no error; expected " << WideToUtf8(fragment);
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find(fragment), WideString::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(root / "out" / "Setup.exe"));
    EXPECT_TRUE(OutputFolderHoldsOnlySetups());
  };
  const std::string item = "<TSetupFile DestDir=\"{app}\" SourcePath=\"src\" SourceMask=\"a.txt\"/>";

  expectFailure(Options(Project("", "<TSetupFile SourcePath=\"src\" SourceMask=\"*.exe\"/>")), u"No file matches \"*.exe\"");
  expectFailure(Options(Project("", "<TSetupFile SourcePath=\"nowhere\" SourceMask=\"*\"/>")), u"nowhere");
  Put(root / "picture.gif", "GIF89a");
  expectFailure(Options(Project("IconFile=\"picture.gif\"", item)), u"IconFile \"picture.gif\"");
  expectFailure(Options(Project("LicenseFileENG=\"missing.txt\"", item)), u"missing.txt");

  TBuildOptions badStub = Options(Project("", item));
  Put(root / "notpe.exe", "MZ but nothing else");
  badStub.StubFile = W(root / "notpe.exe");
  expectFailure(badStub, u"notpe.exe");

  TBuildOptions noOutput = Options(Project("", item));
  noOutput.FullOutput.clear();
  expectFailure(noOutput, u"FullSetupFile");

  Put(root / "broken.xml", "<TSetupScript></BaseInfo></TSetupScript>");
  TBuildOptions broken = Options(root / "broken.xml");
  expectFailure(broken, u"broken.xml");
}

// Windows itself must find what the builder wrote: the module loader maps
// the setup and FindResourceA looks every package resource up.
TEST_F(PackageBuilderTest, TheLoaderFindsEveryPackageResource) {
#ifndef _WIN32
  GTEST_SKIP() << "needs the Windows loader (runs in the Windows build under Wine)";
#else
  Put(root / "src" / "a.txt", std::string(100000, 'a'));
  Put(root / "eng.txt", "English");
  const fs::path project = Project("IconFile=\"icon.png\" LicenseFileENG=\"eng.txt\"",
                                   "<TSetupFile DestDir=\"{app}\" SourcePath=\"src\" SourceMask=\"*\"/>");
  TBuildOptions options = Options(project);
  options.StubFile = Utf8ToWide(std::string(SETUPKIT_TEST_DATA "/") + LoaderStubName());
  const TBuildResult r = BuildPackage(options);
  auto onDisk = TPeImageResourceReader::FromFile(r.FullSetup);
  auto loaded = TModuleResourceReader::LoadModule(r.FullSetup);
  ASSERT_NE(loaded->Module(), nullptr);
  int checked = 0;
  for (const TPeResourceEntry& e : onDisk->Resources()) {
    if (e.Type.IsName || e.Type.Id != RT_RCDATA_ID || !e.Name.IsName) continue;
    TResourceBytes bytes;
    ASSERT_TRUE(loaded->Find(WideToUtf8(e.Name.Name), bytes)) << WideToUtf8(e.Name.Name);
    EXPECT_TRUE(std::string(bytes.Data, static_cast<size_t>(bytes.Size)) == e.Data);
    ++checked;
  }
  EXPECT_EQ(checked, 4);  // script, file data, icon, license
  TMemoryStream script;
  ASSERT_TRUE(ReadPackageResource(*loaded, FullScriptResID, script));
  EXPECT_NE(script.Bytes().find("<TSetupScript>"), std::string::npos);
#endif
}

TEST(EncodeFilesInOrder, DeliversInOrderAndStopsAtTheFirstFailure) {
  const fs::path dir = fs::path(testing::TempDir()) / "encode_order";
  fs::create_directories(dir);
  std::vector<WideString> paths;
  for (int i = 0; i < 40; ++i) {
    const fs::path p = dir / ("f" + std::to_string(i));
    Put(p, std::string(static_cast<size_t>(i) * 997, static_cast<char>('a' + i % 26)));
    paths.push_back(W(p));
  }
  std::vector<size_t> seen;
  EncodeFilesInOrder(paths, 4, [&](size_t i, TMemoryStream& encoded) {
    seen.push_back(i);
    TSetupfn::DecodeStream(encoded);
    ASSERT_EQ(encoded.GetSize(), static_cast<int64_t>(i) * 997);
  });
  ASSERT_EQ(seen.size(), paths.size());
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], i);

  paths[17] = W(dir / "does-not-exist");
  std::atomic<size_t> delivered{0};
  EXPECT_THROW(EncodeFilesInOrder(paths, 3, [&](size_t, TMemoryStream&) { ++delivered; }), EFOpenError);
  EXPECT_LE(delivered.load(), 17u);

  // A sink that fails ends the work as well.
  EXPECT_THROW(EncodeFilesInOrder(paths, 2, [](size_t i, TMemoryStream&) {
                 if (i == 3) throw EWriteError(u"Stream write error");
               }),
               EWriteError);
  fs::remove_all(dir);
}

TEST(HostFiles, MasksAndExtractPaths) {
  EXPECT_TRUE(MatchesFileMask(u"Setup.EXE", u"*.exe"));
  EXPECT_TRUE(MatchesFileMask(u"a.b.c", u"*.c"));
  EXPECT_TRUE(MatchesFileMask(u"abc", u"a?c"));
  EXPECT_FALSE(MatchesFileMask(u"ac", u"a?c"));
  EXPECT_TRUE(MatchesFileMask(u"x", u"*"));
  EXPECT_FALSE(MatchesFileMask(u"readme.txt", u"*.tx"));
  EXPECT_TRUE(MatchesFileMask(std::u16string(60, u'a') + u"b", u"*a*a*a*a*a*b"));

  const WideString sep(1, PathDelim());
  EXPECT_EQ(ExtractTargetPath(u"D", u"{app}\\bin\\", u"a.exe"), u"D" + sep + u"{app}" + sep + u"bin" + sep + u"a.exe");
  EXPECT_EQ(ExtractTargetPath(u"D", u"C:\\Tools", u"a"), u"D" + sep + u"C" + sep + u"Tools" + sep + u"a");
  EXPECT_THROW(ExtractTargetPath(u"D", u"{app}\\..\\..", u"a"), Exception);
  EXPECT_THROW(ExtractTargetPath(u"D", u"{app}", u".."), Exception);
  EXPECT_THROW(ExtractTargetPath(u"D", u"{app}", u"a/b"), Exception);
}

TEST(PackageBuilderText, LicenseMarksAndPngSignature) {
  EXPECT_EQ(LicenseTextForPackage("plain ascii"), "plain ascii");
  EXPECT_EQ(LicenseTextForPackage("\xEF\xBB\xBFmarked \xc3\xa9"), "\xEF\xBB\xBFmarked \xc3\xa9");
  EXPECT_EQ(LicenseTextForPackage("\xFF\xFEu\0"), "\xFF\xFEu\0");
  EXPECT_EQ(LicenseTextForPackage("caf\xe9"), "caf\xe9");  // not UTF-8: an ANSI text, kept
  EXPECT_EQ(LicenseTextForPackage("caf\xc3\xa9"), "\xEF\xBB\xBF" "caf\xc3\xa9");
  EXPECT_TRUE(IsPngData(std::string("\x89PNG\r\n\x1a\n", 8)));
  EXPECT_FALSE(IsPngData("\x89PNG"));
}

}  // namespace
