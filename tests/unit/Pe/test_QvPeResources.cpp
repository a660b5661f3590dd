#include <gtest/gtest.h>

#include <string>

#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvPeResources.h"
#include "QvSysUtils.h"

namespace {

std::string Fixture(const char* name) {
  TMemoryStream s;
  s.LoadFromFile(Utf8ToWide(std::string(SETUPKIT_TEST_DATA "/") + name));
  return s.Bytes();
}

uint32_t Read32(const std::string& b, size_t at) {
  return (uint32_t)(uint8_t)b[at] | ((uint32_t)(uint8_t)b[at + 1] << 8) | ((uint32_t)(uint8_t)b[at + 2] << 16) |
         ((uint32_t)(uint8_t)b[at + 3] << 24);
}

void Write32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (char)((v >> (8 * i)) & 0xFF);
}

// The message of the format error that reading image raises ("" if none).
std::string FormatError(const std::string& image) {
  try {
    ReadPeResources(image);
  } catch (const EPeFormatError& e) {
    return WideToUtf8(e.Message());
  }
  return "";
}

// File offset of the resource directory of a fixture.
size_t ResourceDirectoryOffset(const std::string& image) {
  TPeLayout l = ParsePeLayout(image);
  size_t at = 0;
  EXPECT_TRUE(l.RvaToOffset(l.Directory(PE_DIR_RESOURCE).VirtualAddress, 16, image.size(), at));
  return at;
}

TEST(PeResources, ReadsTheStubsResources) {
  const std::string image = Fixture("stub_res.exe");
  const TPeLayout layout = ParsePeLayout(image);
  EXPECT_FALSE(layout.Pe32Plus);
  ASSERT_EQ(layout.Sections.size(), 6u);
  EXPECT_EQ(layout.Sections[4].Name, ".rsrc");

  const auto resources = ReadPeResources(image);
  ASSERT_EQ(resources.size(), 4u);
  const uint16_t types[] = {3, 14, 16, 24};
  const size_t sizes[] = {64, 20, 400, 449};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_FALSE(resources[i].Type.IsName);
    EXPECT_EQ(resources[i].Type.Id, types[i]);
    EXPECT_FALSE(resources[i].Name.IsName);
    EXPECT_EQ(resources[i].Name.Id, 1);
    EXPECT_EQ(resources[i].Language, 1033);
    EXPECT_EQ(resources[i].Data.size(), sizes[i]);
  }
  const TPeResourceEntry* manifest = FindPeResource(resources, TResourceId::FromId(24), TResourceId::FromNarrow("#1"));
  ASSERT_NE(manifest, nullptr);
  EXPECT_EQ(manifest->Data, Fixture("stub.manifest"));
  // The icon resource is the image part of the .ico file (after its 22-byte
  // directory).
  EXPECT_EQ(resources[0].Data, Fixture("stub.ico").substr(22));
  EXPECT_EQ(FindPeResource(resources, TResourceId::FromId(RT_RCDATA_ID), TResourceId::FromId(1)), nullptr);

  EXPECT_TRUE(ReadPeResources(Fixture("stub_plain.exe")).empty());
}

TEST(PeResources, NarrowNamesAsFindResourceTakesThem) {
  EXPECT_FALSE(TResourceId::FromNarrow("#123").IsName);
  EXPECT_EQ(TResourceId::FromNarrow("#123").Id, 123);
  EXPECT_EQ(TResourceId::FromNarrow("#65535").Id, 65535);
  EXPECT_TRUE(TResourceId::FromNarrow("{AB-12}").Matches(TResourceId::FromName(u"{ab-12}")));
  EXPECT_FALSE(TResourceId::FromNarrow("abc").Matches(TResourceId::FromName(u"abcd")));
  // A number and the name spelling it are different resources.
  EXPECT_FALSE(TResourceId::FromNarrow("#1").Matches(TResourceId::FromName(u"#1")));
  EXPECT_FALSE(TResourceId::FromNarrow("1").Matches(TResourceId::FromId(1)));
  EXPECT_THROW(TResourceId::FromNarrow("#"), EConvertError);
  EXPECT_THROW(TResourceId::FromNarrow("#65536"), EConvertError);
  EXPECT_THROW(TResourceId::FromNarrow("#12a"), EConvertError);
}

TEST(PeResources, BrokenHeadersAreNamed) {
  const std::string good = Fixture("stub_res.exe");
  EXPECT_NE(FormatError("").find("missing MZ signature"), std::string::npos);
  EXPECT_NE(FormatError(std::string(200, 'M')).find("missing MZ signature"), std::string::npos);

  std::string bad = good;
  Write32(bad, 0x3C, 0xFFFFFFF0u);
  EXPECT_NE(FormatError(bad).find("PE header offset 0xFFFFFFF0 lies outside the file"), std::string::npos);
  Write32(bad, 0x3C, (uint32_t)good.size() - 10);
  EXPECT_NE(FormatError(bad).find("lies outside the file"), std::string::npos);

  const uint32_t pe = Read32(good, 0x3C);
  bad = good;
  bad[pe + 1] = 'X';
  EXPECT_NE(FormatError(bad).find("missing PE signature"), std::string::npos);

  bad = good;
  bad[pe + 24] = 0x07;  // optional header magic
  EXPECT_NE(FormatError(bad).find("unknown optional header magic"), std::string::npos);

  bad = good;
  bad[pe + 4 + 2] = (char)0xFF;  // section count far beyond the file
  bad[pe + 4 + 3] = (char)0xFF;
  EXPECT_NE(FormatError(bad).find("section table runs past the end"), std::string::npos);

  // Every truncation of a real image either still reads or fails with a
  // format error; nothing reads past the end (the sanitizer build checks).
  for (size_t n = 0; n < good.size(); n += 7) {
    try {
      ReadPeResources(good.substr(0, n));
    } catch (const EPeFormatError&) {
    }
  }
  EXPECT_NE(FormatError(good.substr(0, 0x400)), "");
}

TEST(PeResources, HostileDirectoriesFailInsteadOfLooping) {
  const std::string good = Fixture("stub_res.exe");
  const size_t dir = ResourceDirectoryOffset(good);
  // Root entry 0 (the icon type) points to its name table; the name table's
  // first entry points to the language table.
  const uint32_t nameTable = Read32(good, dir + 16 + 4) & 0x7FFFFFFFu;

  std::string loop = good;
  Write32(loop, dir + nameTable + 16 + 4, 0x80000000u);  // back to the root
  EXPECT_NE(FormatError(loop).find("referenced more than once"), std::string::npos);

  std::string self = good;
  Write32(self, dir + 16 + 4, 0x80000000u);  // the root contains itself
  EXPECT_NE(FormatError(self).find("referenced more than once"), std::string::npos);

  std::string outside = good;
  Write32(outside, dir + 16 + 4, 0x80000000u | 0x7FFFFFF0u);
  EXPECT_NE(FormatError(outside).find("lies outside the resource section"), std::string::npos);

  std::string entries = good;
  entries[dir + 14] = (char)0xFF;  // thousands of id entries in the root
  EXPECT_NE(FormatError(entries).find("entries run past the end"), std::string::npos);

  // The icon's data entry, with its RVA moved out of every section.
  const uint32_t langTable = Read32(good, dir + nameTable + 16 + 4) & 0x7FFFFFFFu;
  const uint32_t dataEntry = Read32(good, dir + langTable + 16 + 4);
  std::string data = good;
  Write32(data, dir + dataEntry, 0x00F00000u);
  EXPECT_NE(FormatError(data).find("points outside the image"), std::string::npos);
  data = good;
  Write32(data, dir + dataEntry + 4, 0x7FFFFFFFu);  // size
  EXPECT_NE(FormatError(data).find("points outside the image"), std::string::npos);

  // Data that the section declares but the file does not hold.
  TPeLayout layout = ParsePeLayout(good);
  std::string shortRaw = good;
  Write32(shortRaw, layout.Sections[4].HeaderOffset + 16, 0x100);  // SizeOfRawData of .rsrc
  EXPECT_NE(FormatError(shortRaw), "");

  std::string noSection = good;
  Write32(noSection, layout.DataDirectoryOffset + 8 * PE_DIR_RESOURCE, 0x00900000u);
  EXPECT_NE(FormatError(noSection).find("lies in no section"), std::string::npos);
}

}  // namespace
