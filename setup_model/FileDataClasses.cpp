#include "FileDataClasses.h"

#include <cstring>
#include <limits>

#include "MySetupUtils.h"
#include "QvExceptions.h"

namespace {

[[noreturn]] void ReadFailed() { throw EReadError(u"Stream read error"); }

int32_t ReadInt32LE(const char* p) {
  const auto* b = reinterpret_cast<const uint8_t*>(p);
  const uint32_t v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  int32_t r;
  std::memcpy(&r, &v, sizeof r);
  return r;
}

void WriteInt32LE(TStream& dest, int32_t value) {
  uint32_t v;
  std::memcpy(&v, &value, sizeof v);
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  dest.WriteBuffer(b, 4);
}

constexpr int64_t kMaxBlob = std::numeric_limits<int32_t>::max();

}  // namespace

// ---- TFileData -------------------------------------------------------------

const TClassInfo& TFileData::StaticClassInfo() {
  static const TClassInfo info("TFileData", &TXmlPersistent::StaticClassInfo(),
                               {IntegerProp("Bytes", &TFileData::FBytes), WStrProp("GUID", &TFileData::FGUID),
                                IntegerProp("Offset", &TFileData::FOffset)});
  return info;
}

TFileData::TFileData() : FData(std::make_unique<TMemoryStream>()) {}
TFileData::~TFileData() = default;

// ---- TFileDataList ---------------------------------------------------------

const TClassInfo& TFileDataList::StaticClassInfo() {
  static const TClassInfo info("TFileDataList", &TXmlObjectList::StaticClassInfo(), {});
  return info;
}

TXmlPersistent* TFileDataList::CreateItem(const WideString&) { return new TFileData(); }

bool TFileDataList::LoadFromResource(const TResourceReader& reader) {
  const TResourceBytes blob = reader.Read(FileDataResID);
  LoadFromBlob(blob.Data, blob.Size);
  return true;
}

void TFileDataList::LoadIndex(const char* blob, int64_t size) {
  FBlob = nullptr;
  FBlobSize = 0;
  FImagesSize = 0;
  if (size < 4) ReadFailed();
  const int32_t n = ReadInt32LE(blob + size - 4);
  if (n < 0 || n > size - 4) ReadFailed();
  FImagesSize = size - 4 - n;

  TMemoryStream index(std::string(blob + (size - 4 - n), static_cast<size_t>(n)));
  TSetupfn::DecodeStream(index);
  index.SetPosition(0);
  // An empty index holds no document, which would leave earlier entries in
  // place; the blob's list is the whole list.
  Clear();
  LoadFromStream(index);
}

namespace {
// 64-bit sums: 32-bit offsets and sizes cannot overflow them.
bool InsideBlob(const TFileData& entry, int64_t size) {
  const int64_t offset = entry.FOffset;
  const int64_t bytes = entry.FBytes;
  return offset >= 0 && bytes >= 0 && offset + bytes <= size;
}
}  // namespace

bool TFileDataList::LoadIndexFromResource(const TResourceReader& reader) {
  const TResourceBytes blob = reader.Read(FileDataResID);
  LoadIndexFromBlob(blob.Data, blob.Size);
  return true;
}

void TFileDataList::LoadIndexFromBlob(const char* blob, int64_t size) {
  LoadIndex(blob, size);
  for (int i = 0; i < Count(); ++i)
    if (!InsideBlob(*Items(i), size)) ReadFailed();
  FBlob = blob;
  FBlobSize = size;
}

TResourceBytes TFileDataList::Image(const TFileData& entry) const {
  if (FBlob == nullptr || !InsideBlob(entry, FBlobSize)) ReadFailed();
  TResourceBytes bytes;
  bytes.Data = FBlob + entry.FOffset;
  bytes.Size = entry.FBytes;
  return bytes;
}

void TFileDataList::LoadFromBlob(const char* blob, int64_t size) {
  LoadIndex(blob, size);
  for (int i = 0; i < Count(); ++i) {
    TFileData* entry = Items(i);
    if (!InsideBlob(*entry, size)) ReadFailed();
    entry->Data().Assign(std::string(blob + entry->FOffset, static_cast<size_t>(entry->FBytes)));
  }
}

int TFileDataList::IndexOfGUID(const WideString& guid) const {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->FGUID == guid) return i;
  return -1;
}

TFileData* TFileDataList::FindByGUID(const WideString& guid) const {
  const int i = IndexOfGUID(guid);
  return i < 0 ? nullptr : Items(i);
}

// ---- TFileDataLookup -------------------------------------------------------

TFileDataLookup::TFileDataLookup(const TFileDataList& list) {
  FByGUID.reserve(static_cast<size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) FByGUID.emplace(list.Items(i)->FGUID, list.Items(i));
}

const TFileData* TFileDataLookup::Find(const WideString& guid) const {
  const auto it = FByGUID.find(guid);
  return it == FByGUID.end() ? nullptr : it->second;
}

// ---- TFileDataBlobWriter ---------------------------------------------------

TFileDataBlobWriter::TFileDataBlobWriter(TStream& dest) : FDest(dest) {}

void TFileDataBlobWriter::Reserve(int64_t size) const {
  if (FFinished) throw EAssertionFailed(u"Assertion failure", u"setup_model\\FileDataClasses", __LINE__);
  if (size < 0 || size > kMaxBlob - FSize) throw EWriteError(u"File data blob exceeds 2 GB");
}

TFileData* TFileDataBlobWriter::AddImage(const WideString& guid, const void* image, int64_t size) {
  // The index and its trailer must still fit behind the image; checked
  // roughly here and exactly in Finish.
  Reserve(size);
  FDest.WriteBuffer(image, size);
  auto entry = std::make_unique<TFileData>();
  entry->FGUID = guid;
  entry->FOffset = static_cast<int32_t>(FSize);
  entry->FBytes = static_cast<int32_t>(size);
  FSize += size;
  TFileData* result = entry.get();
  FList.Add(std::move(entry));
  return result;
}

TFileData* TFileDataBlobWriter::AddImage(const WideString& guid, TMemoryStream& image) {
  return AddImage(guid, image.Memory(), image.GetSize());
}

void TFileDataBlobWriter::Finish() {
  TMemoryStream index;
  FList.SaveToStream(index);
  TSetupfn::EncodeStream(index);
  const int64_t n = index.GetSize();
  Reserve(n + 4);
  FDest.WriteBuffer(index.Memory(), n);
  WriteInt32LE(FDest, static_cast<int32_t>(n));
  FSize += n + 4;
  FFinished = true;
}
