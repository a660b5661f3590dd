#include "PackageCheck.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "FileDataClasses.h"
#include "MySetupUtils.h"
#include "QvClasses.h"
#include "QvSysUtils.h"
#include "SetupProject.h"

namespace {

// A few are enough to tell the publisher what went wrong; a package broken
// everywhere would otherwise produce a report as long as its file list.
constexpr size_t kMaxDamages = 5;

const char kPngSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};

// The codec's images are scrambled zlib streams: after unscrambling, the
// two-byte zlib header (deflate, a window of at most 32 KB, no preset
// dictionary, the check bits right), then data and the four-byte Adler-32.
bool LooksLikeImage(const char* data, int64_t size) {
  if (size < 2 + 4) return false;
  char head[2] = {data[0], data[1]};
  TSetupfn::XorBytes(head, 2);
  const unsigned cmf = static_cast<unsigned char>(head[0]);
  const unsigned flg = static_cast<unsigned char>(head[1]);
  return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (flg & 0x20) == 0 && (cmf * 256 + flg) % 31 == 0;
}

WideString Message(const Exception& e) { return e.Message().empty() ? WideString(u"Error") : e.Message(); }

}  // namespace

std::vector<TPackageDamage> CheckPackage(const TResourceReader& reader, const TSetupScript& script,
                                         TFileDataList* index) {
  std::vector<TPackageDamage> damages;
  auto damaged = [&](const WideString& what, const WideString& reason) {
    if (damages.size() < kMaxDamages) damages.push_back({what, reason});
  };
  const TSetupBaseInfo& info = *script.BaseInfo();

  // The picture the window shows and the uninstaller gets.
  if (info.IconResID.empty()) {
    damaged(u"the product picture", u"the script names no picture (IconResID)");
  } else {
    try {
      TMemoryStream stream;
      ReadPackageResource(reader, WideToUtf8(info.IconResID), stream);
      const std::string& bytes = stream.Bytes();
      if (bytes.size() < sizeof kPngSignature || std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) != 0)
        damaged(u"the product picture " + info.IconResID, u"it is not a PNG image");
    } catch (const Exception& e) {
      damaged(u"the product picture " + info.IconResID, Message(e));
    }
  }

  for (const WideString* id : {&info.LicenseCHSResID, &info.LicenseCHTResID, &info.LicenseENGResID}) {
    if (id->empty()) continue;
    try {
      TMemoryStream stream;
      ReadPackageResource(reader, WideToUtf8(*id), stream);
    } catch (const Exception& e) {
      damaged(u"the license text " + *id, Message(e));
    }
  }

  // The files: an online setup's script carries none, and a product of
  // empty files needs no data.
  const TSetupFileList& files = *script.FileList();
  bool needsData = false;
  for (int i = 0; i < files.Count() && !needsData; ++i) needsData = files.Items(i)->FileBytes > 0;
  if (!needsData) return damages;
  TFileDataList own;
  TFileDataList& data = index ? *index : own;
  try {
    data.LoadIndexFromResource(reader);
  } catch (const Exception& e) {
    damaged(u"the file data", Message(e));
    return damages;
  }
  // The builder writes the images one after the other and the index behind
  // them. An entry that reaches into the next image or into the index claims
  // bytes that are not its file's, and inflating would not notice: it stops
  // at the end of the stream. Entries that share one image are whole.
  std::vector<int64_t> starts{data.ImagesSize()};
  for (int i = 0; i < data.Count(); ++i) starts.push_back(data.Items(i)->Offset());
  std::sort(starts.begin(), starts.end());
  const TFileDataLookup lookup(data);
  for (int i = 0; i < files.Count(); ++i) {
    const TSetupFile& file = *files.Items(i);
    if (file.FileBytes <= 0) continue;
    const WideString name = file.NewFileName.empty() ? file.SourceMask : file.NewFileName;
    const TFileData* entry = lookup.Find(file.ResID);
    if (entry == nullptr) {
      damaged(name, u"the package holds no data for this file");
      continue;
    }
    const TResourceBytes image = data.Image(*entry);
    const auto next = std::upper_bound(starts.begin(), starts.end(), static_cast<int64_t>(entry->Offset()));
    if (!LooksLikeImage(image.Data, image.Size))
      damaged(name, u"the data of this file is not an image of the package");
    else if (next == starts.end() || entry->Offset() + static_cast<int64_t>(entry->Bytes()) > *next)
      damaged(name, u"the data of this file runs into the data that follows it");
  }
  return damages;
}
