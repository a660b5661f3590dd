// The package checked whole before anything changes: a whole package
// passes, and each kind of damage is found and named.
#include <gtest/gtest.h>

#include <string>

#include "FileDataClasses.h"
#include "PackageCheck.h"
#include "PackageResources.h"
#include "SetupProject.h"
#include "TestSupport.h"

namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of a picture";

// A package of two files (one empty), a picture and a license, and the
// script that names them.
struct TPackage {
  TSetupScript Script;
  TMemoryResourceReader Reader;
  std::string Blob;

  TPackage() {
    TSetupBaseInfo& info = *Script.BaseInfo();
    info.IconResID = u"{ICON}";
    info.LicenseENGResID = u"{ENG}";
    Reader.Add("{ICON}", Encoded(kPng));
    Reader.Add("{ENG}", Encoded("License terms."));
    AddFile(u"a.txt", u"{A}", 11);
    AddFile(u"empty.txt", u"", 0);
    TMemoryStream out;
    TFileDataBlobWriter writer(out);
    TMemoryStream a(Encoded("eleven byte"));
    writer.AddImage(u"{A}", a);
    writer.Finish();
    Blob = out.Bytes();
    Reader.Add(FileDataResID, Blob);
  }
  void AddFile(const WideString& name, const WideString& resId, int32_t bytes) {
    auto* file = static_cast<TSetupFile*>(Script.FileList()->CreateItem(u"TSetupFile"));
    file->SourceMask = name;
    file->ResID = resId;
    file->FileBytes = bytes;
    Script.FileList()->Add(file);
  }
  WideString Damages() const {
    WideString text;
    for (const TPackageDamage& d : CheckPackage(Reader, Script)) text += d.What + u": " + d.Reason + u"\n";
    return text;
  }
};

// The image of a.txt, then those of further files ({B} and so on), under
// an index that gives a.txt's image one byte more than it has.
std::string BlobWithLongerImage(int further) {
  TMemoryStream out;
  TFileDataBlobWriter writer(out);
  TMemoryStream a(Encoded("eleven byte"));
  TFileData* entry = writer.AddImage(u"{A}", a);
  entry->SetBytes(entry->Bytes() + 1);
  for (int i = 0; i < further; ++i) {
    TMemoryStream b(Encoded("four"));
    writer.AddImage(WideString(u"{") + static_cast<char16_t>(u'B' + i) + u"}", b);
  }
  writer.Finish();
  return out.Bytes();
}

bool Has(const WideString& text, const WideString& part) { return text.find(part) != WideString::npos; }

}  // namespace

TEST(PackageCheck, AWholePackagePassesAndEachDamageIsNamed) {
  EXPECT_EQ(TPackage().Damages(), u"");

  TPackage notPng;
  notPng.Reader.Add("{ICON}", Encoded("GIF89a, not a PNG"));
  EXPECT_TRUE(Has(notPng.Damages(), u"the product picture {ICON}: it is not a PNG image")) << WideToUtf8(notPng.Damages());

  TPackage noPicture;
  noPicture.Script.BaseInfo()->IconResID = u"";
  EXPECT_TRUE(Has(noPicture.Damages(), u"the script names no picture"));

  TPackage badLicense;
  badLicense.Reader.Add("{ENG}", "not encoded at all");
  EXPECT_TRUE(Has(badLicense.Damages(), u"the license text {ENG}: ")) << WideToUtf8(badLicense.Damages());

  TPackage missing;
  missing.AddFile(u"b.txt", u"{B}", 5);
  EXPECT_TRUE(Has(missing.Damages(), u"b.txt: the package holds no data for this file"));

  // The first byte of the image flipped: its zlib header no longer holds.
  TPackage flipped;
  flipped.Blob[0] = static_cast<char>(flipped.Blob[0] ^ 0x40);
  flipped.Reader.Add(FileDataResID, flipped.Blob);
  EXPECT_TRUE(Has(flipped.Damages(), u"a.txt: the data of this file is not an image of the package"))
      << WideToUtf8(flipped.Damages());

  // An index that gives an image more bytes than it has: inflating would
  // stop at the stream's end and never notice. Into the index, and into the
  // next file's image.
  TPackage longer;
  longer.Blob = BlobWithLongerImage(0);
  longer.Reader.Add(FileDataResID, longer.Blob);
  EXPECT_TRUE(Has(longer.Damages(), u"a.txt: the data of this file runs into the data that follows it"))
      << WideToUtf8(longer.Damages());
  TPackage overlapping;
  overlapping.AddFile(u"b.txt", u"{B}", 4);
  overlapping.Reader.Add(FileDataResID, BlobWithLongerImage(1));
  EXPECT_TRUE(Has(overlapping.Damages(), u"a.txt: the data of this file runs into the data that follows it"))
      << WideToUtf8(overlapping.Damages());
  EXPECT_FALSE(Has(overlapping.Damages(), u"b.txt")) << WideToUtf8(overlapping.Damages());

  // Cut short, the blob's index cannot be read: nothing of the files is.
  TPackage cut;
  cut.Reader.Add(FileDataResID, cut.Blob.substr(0, cut.Blob.size() - 3));
  EXPECT_TRUE(Has(cut.Damages(), u"the file data: ")) << WideToUtf8(cut.Damages());

  // Only empty files: no data needed, none checked.
  TPackage empties;
  empties.Script.FileList()->Clear();
  empties.AddFile(u"empty.txt", u"", 0);
  empties.Reader.Add(FileDataResID, "");
  EXPECT_EQ(empties.Damages(), u"");
}
