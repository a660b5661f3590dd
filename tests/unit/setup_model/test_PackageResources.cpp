#include <gtest/gtest.h>

#include "TestSupport.h"

#include <cstdlib>
#include <string>

#include "FileDataClasses.h"
#include "MySetupUtils.h"
#include "PeResourceWriter.h"
#include "PackageResources.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

std::string Encoded(const std::string& plain) {
  TMemoryStream s(plain);
  TSetupfn::EncodeStream(s);
  return s.Bytes();
}

TEST(PackageResources, NamesAreTheFixedGuids) {
  EXPECT_STREQ(FullScriptResID, "{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}");
  EXPECT_STREQ(MiniScriptResID, "{F907FF9D-0131-45D9-9469-A2CD78FB4793}");
  EXPECT_STREQ(FileDataResID, "{24B4534B-E580-4F42-BEAB-A2818FDE92C0}");
}

TEST(PackageResources, ReadDecodesTheStoredBytes) {
  TMemoryResourceReader package;
  package.Add(MiniScriptResID, Encoded("<TSetupScript/>"));
  package.Add("{EMPTY}", "");

  EXPECT_TRUE(PackageResourceExists(package, MiniScriptResID));
  EXPECT_FALSE(PackageResourceExists(package, FullScriptResID));
  // Resource names are matched as the resource loader matches them.
  EXPECT_TRUE(PackageResourceExists(package, "{f907ff9d-0131-45d9-9469-a2cd78fb4793}"));

  TMemoryStream script(std::string("previous content, longer than the script"));
  EXPECT_TRUE(ReadPackageResource(package, MiniScriptResID, script));
  EXPECT_EQ(script.Bytes(), "<TSetupScript/>");
  EXPECT_EQ(script.GetPosition(), 0);

  EXPECT_TRUE(ReadPackageResource(package, "{EMPTY}", script));
  EXPECT_EQ(script.GetSize(), 0);
}

TEST(PackageResources, MissingResourceFailsBeforeTouchingTheStream) {
  TMemoryResourceReader package;
  TMemoryStream target(std::string("keep me"));
  target.SetPosition(3);
  try {
    ReadPackageResource(package, FullScriptResID, target);
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), u"Resource {54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A} not found");
  }
  EXPECT_EQ(target.Bytes(), "keep me");
  EXPECT_EQ(target.GetPosition(), 3);
}

TEST(PackageResources, DamagedResourceFailsWithError) {
  TMemoryResourceReader package;
  std::string stored = Encoded(std::string(5000, 'x') + "end");
  stored.resize(stored.size() - 2);
  package.Add("{CUT}", stored);
  TMemoryStream target;
  try {
    ReadPackageResource(package, "{CUT}", target);
    FAIL();
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), u"Error");
  }
}

// A real executable carrying a package, read back through the PE seam (and
// on Windows through the loader as well).
class PackageInPeFile : public ::testing::Test {
protected:
  void SetUp() override {
    TMemoryStream stub;
    stub.LoadFromFile(Utf8ToWide(std::string(SETUPKIT_TEST_DATA "/") + LoaderStubName()));
    TPeResourceWriter writer(stub.Bytes());
    const auto rcdata = TResourceId::FromId(RT_RCDATA_ID);
    writer.SetResource(rcdata, TResourceId::FromName(Utf8ToWide(FullScriptResID)), 0, Encoded("<TSetupScript/>"));

    TMemoryStream blob;
    TFileDataBlobWriter files(blob);
    TMemoryStream image(Encoded("file content"));
    files.AddImage(u"{F1}", image);
    files.Finish();
    writer.SetResource(rcdata, TResourceId::FromName(Utf8ToWide(FileDataResID)), 1033, blob.Bytes());

    TMemoryStream out(writer.Build());
    FFileName = Utf8ToWide(::testing::TempDir()) + u"package_" + IntToStr(std::rand()) + u".exe";
    out.SaveToFile(FFileName);
  }
  void TearDown() override { DeleteFile(FFileName); }

  void ExpectPackage(const TResourceReader& reader) {
    EXPECT_TRUE(PackageResourceExists(reader, FullScriptResID));
    EXPECT_FALSE(PackageResourceExists(reader, MiniScriptResID));
    // The manifest is resource 1, but not of type RCDATA.
    EXPECT_FALSE(PackageResourceExists(reader, "#1"));
    TMemoryStream script;
    ASSERT_TRUE(ReadPackageResource(reader, FullScriptResID, script));
    EXPECT_EQ(script.Bytes(), "<TSetupScript/>");

    TFileDataList list;
    ASSERT_TRUE(list.LoadFromResource(reader));
    ASSERT_EQ(list.Count(), 1);
    TMemoryStream content(list.FindByGUID(u"{F1}")->Data().Bytes());
    TSetupfn::DecodeStream(content);
    EXPECT_EQ(content.Bytes(), "file content");
  }

  WideString FFileName;
};

TEST_F(PackageInPeFile, ReadsThroughThePeReader) {
  ExpectPackage(*TPeImageResourceReader::FromFile(FFileName));
}

#ifdef _WIN32
TEST_F(PackageInPeFile, ReadsThroughTheLoadedModule) {
  auto module = TModuleResourceReader::LoadModule(FFileName);
  ASSERT_NE(module->Module(), nullptr);
  ExpectPackage(*module);
}
#endif

}  // namespace
