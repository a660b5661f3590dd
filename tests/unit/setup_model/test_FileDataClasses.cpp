#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "TestSupport.h"
#include "FileDataClasses.h"
#include "MySetupUtils.h"
#include "PackageResources.h"
#include "QvClasses.h"
#include "QvExceptions.h"

namespace {


std::string Int32LE(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
}

// A blob laid out by hand: images, then the encoded index text, then N.
std::string HandBlob(const std::string& images, const std::string& indexXml) {
  const std::string index = Encoded(indexXml);
  return images + index + Int32LE(static_cast<int32_t>(index.size()));
}

std::string Entry(int32_t bytes, const std::string& guid, int32_t offset) {
  return "<TFileData Bytes=\"" + std::to_string(bytes) + "\" GUID=\"" + guid + "\" Offset=\"" +
         std::to_string(offset) + "\"/>";
}

std::string Index(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<TFileDataList><Items>" + entries + "</Items></TFileDataList>";
}

TMemoryResourceReader PackageWith(const std::string& blob) {
  TMemoryResourceReader r;
  r.Add(FileDataResID, blob);
  return r;
}

void ExpectReadError(TFileDataList& list, const std::string& blob) {
  try {
    list.LoadFromResource(PackageWith(blob));
    FAIL() << "loaded a blob of " << blob.size() << " bytes";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), u"Stream read error");
  }
}

// ---- written by the builder, read by the installer -------------------------

TEST(FileDataBlob, WriterAndReaderAgree) {
  const std::string contents[] = {"first file", "", std::string(100000, 'q') + "tail", "last"};
  const WideString guids[] = {u"{A}", u"{B}", u"{C}", u"{D}"};

  // The blob may start anywhere in the builder's stream.
  TMemoryStream out(std::string("PREFIX"));
  out.Seek(0, TSeekOrigin::soEnd);
  TFileDataBlobWriter writer(out);
  for (int i = 0; i < 4; ++i) {
    TMemoryStream image(Encoded(contents[i]));
    writer.AddImage(guids[i], image);
  }
  writer.Finish();
  EXPECT_EQ(writer.Size(), out.GetSize() - 6);
  EXPECT_THROW(writer.AddImage(u"{E}", "x", 1), EAssertionFailed);

  TFileDataList list;
  ASSERT_TRUE(list.LoadFromResource(PackageWith(out.Bytes().substr(6))));
  ASSERT_EQ(list.Count(), 4);
  int32_t expectedOffset = 0;
  for (int i = 0; i < 4; ++i) {
    TFileData* e = list.Items(i);
    EXPECT_EQ(e->GUID(), guids[i]);
    EXPECT_EQ(e->Offset(), expectedOffset);
    EXPECT_EQ(e->Bytes(), e->Data().GetSize());
    expectedOffset += e->Bytes();
    EXPECT_TRUE(Decoded(e->Data().Bytes()) == contents[i]) << i;
  }
  EXPECT_EQ(list.Items(1)->Bytes(), 0);  // empty content is stored as nothing
}

TEST(FileDataBlob, IndexIsTheListsXmlWithPropertiesInOrder) {
  TMemoryStream out;
  TFileDataBlobWriter writer(out);
  writer.AddImage(u"{X}", "abc", 3);
  writer.Finish();
  const std::string& blob = out.Bytes();
  const int32_t n = static_cast<int32_t>(blob.size()) - 3 - 4;
  EXPECT_EQ(blob.substr(blob.size() - 4), Int32LE(n));
  const std::string xml = Decoded(blob.substr(3, static_cast<size_t>(n)));
  EXPECT_NE(xml.find("<TFileDataList>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<TFileData Bytes=\"3\" GUID=\"{X}\" Offset=\"0\"/>"), std::string::npos) << xml;
}

// ---- what the reader accepts -----------------------------------------------

TEST(FileDataBlob, EmptyIndexLoadsAnEmptyList) {
  TFileDataList list;
  list.Add(new TFileData());
  ASSERT_TRUE(list.LoadFromResource(PackageWith(Int32LE(0))));
  EXPECT_EQ(list.Count(), 0);
  ASSERT_TRUE(list.LoadFromResource(PackageWith("leading bytes" + Int32LE(0))));
  EXPECT_EQ(list.Count(), 0);
}

TEST(FileDataBlob, TrailerThatDoesNotFitFails) {
  TFileDataList list;
  ExpectReadError(list, "");
  ExpectReadError(list, "abc");
  ExpectReadError(list, "abcd" + Int32LE(5));   // N larger than L - 4
  ExpectReadError(list, "abcd" + Int32LE(-1));
  ExpectReadError(list, Int32LE(INT32_MIN));
  EXPECT_EQ(list.Count(), 0);
}

TEST(FileDataBlob, EntryOutsideTheBlobFailsAfterEarlierEntriesLoaded) {
  const std::string images = "0123456789";
  struct Case { int32_t bytes, offset; };
  const Case bad[] = {{1000, 8}, {1, -1}, {-1, 0}, {INT32_MAX, INT32_MAX}, {1, INT32_MAX}};
  for (const Case& c : bad) {
    const std::string index = Index(Entry(4, "ok", 2) + Entry(c.bytes, "bad", c.offset) + Entry(1, "after", 0));
    const std::string blob = HandBlob(images, index);
    TFileDataList list;
    ExpectReadError(list, blob);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0)->Data().Bytes(), "2345");
    EXPECT_EQ(list.Items(1)->Data().GetSize(), 0);
    EXPECT_EQ(list.Items(2)->Data().GetSize(), 0);
  }
}

TEST(FileDataBlob, EntryMayReachTheLastByteOfTheBlob) {
  // The reader bounds entries by the blob, index and trailer included. An
  // entry that covers exactly the whole blob refers to its own size: iterate.
  std::string blob;
  int32_t size = 0;
  for (int round = 0; round < 20; ++round) {
    blob = HandBlob("0123456789", Index(Entry(size, "all", 0)));
    if (static_cast<int32_t>(blob.size()) == size) break;
    size = static_cast<int32_t>(blob.size());
  }
  ASSERT_EQ(static_cast<int32_t>(blob.size()), size);
  TFileDataList list;
  list.LoadFromResource(PackageWith(blob));
  EXPECT_TRUE(list.Items(0)->Data().Bytes() == blob);
  // Without its first byte the same index claims one byte too many.
  ExpectReadError(list, blob.substr(1));
}

TEST(FileDataBlob, IndexThatDoesNotDecodeFails) {
  TFileDataList list;
  EXPECT_THROW(list.LoadFromResource(PackageWith("garbage!" + Int32LE(8))), EZDecompressionError);
}

TEST(FileDataBlob, MissingResourceLeavesTheListAlone) {
  TFileDataList list;
  list.Add(new TFileData());
  TMemoryResourceReader empty;
  try {
    list.LoadFromResource(empty);
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_EQ(e.Message(), u"Resource {24B4534B-E580-4F42-BEAB-A2818FDE92C0} not found");
  }
  EXPECT_EQ(list.Count(), 1);
}

// ---- lookup ----------------------------------------------------------------

TEST(FileDataList, LookupIsExactAndFindsTheFirst) {
  TFileDataList list;
  // Images need not be in order nor distinct, and any element is an entry.
  list.LoadFromResource(PackageWith(HandBlob(
      "AB", Index(Entry(1, "{aa-11}", 1) + "<Other Bytes=\"1\" GUID=\"{BB-22}\" Offset=\"0\"/>" +
                  Entry(1, "{aa-11}", 1)))));
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Items(1)->Data().Bytes(), "A");
  EXPECT_EQ(list.IndexOfGUID(u"{aa-11}"), 0);
  EXPECT_EQ(list.FindByGUID(u"{aa-11}"), list.Items(0));
  EXPECT_EQ(list.IndexOfGUID(u"{BB-22}"), 1);
  EXPECT_EQ(list.IndexOfGUID(u"{bb-22}"), -1);
  EXPECT_EQ(list.FindByGUID(u"{AA-11}"), nullptr);
  EXPECT_EQ(list.FindByGUID(u"{aa-11} "), nullptr);
  EXPECT_EQ(list.FindByGUID(u""), nullptr);
  // The constant-time look-up finds the same entries.
  const TFileDataLookup lookup(list);
  for (const char16_t* guid : {u"{aa-11}", u"{BB-22}", u"{bb-22}", u"{AA-11}", u"{aa-11} ", u""})
    EXPECT_EQ(lookup.Find(guid), list.FindByGUID(guid)) << WideToUtf8(guid);
}

}  // namespace
