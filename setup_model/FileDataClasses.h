// The file data blob of a package: the encoded file images one after the
// other, then their index (the encoded XML form of a TFileDataList), then
// the index length as a signed 32-bit little-endian number.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "PackageResources.h"
#include "QvClasses.h"
#include "QvXmlUtils.h"

// One entry of the index; Data holds the entry's image (still encoded) once
// the blob is loaded.
class TFileData : public TXmlPersistent {
  QV_PERSISTENT(TFileData)
public:
  TFileData();
  ~TFileData() override;

  int32_t Bytes() const { return FBytes; }
  void SetBytes(int32_t value) { FBytes = value; }
  const WideString& GUID() const { return FGUID; }
  void SetGUID(const WideString& value) { FGUID = value; }
  int32_t Offset() const { return FOffset; }
  void SetOffset(int32_t value) { FOffset = value; }
  TMemoryStream& Data() const { return *FData; }

  // Published fields, in their stored order.
  int32_t FBytes = 0;   // stored (encoded) size of the image
  WideString FGUID;     // what a script file's ResID refers to
  int32_t FOffset = 0;  // from the first byte of the blob

private:
  std::unique_ptr<TMemoryStream> FData;
};

class TFileDataList : public TXmlObjectList {
  QV_PERSISTENT(TFileDataList)
public:
  // Every element is an entry, whatever its name.
  TXmlPersistent* CreateItem(const WideString& elementName) override;

  TFileData* Items(int index) const { return static_cast<TFileData*>(TXmlObjectList::Items(index)); }

  // Loads the index and every entry's image from the FileDataResID resource.
  // Returns true; a missing resource raises EResNotFound before the list
  // changes, a blob that does not hold what its index claims EReadError
  // "Stream read error" (entries filled so far keep their data).
  bool LoadFromResource(const TResourceReader& reader);
  // The same, from the blob's bytes themselves.
  void LoadFromBlob(const char* blob, int64_t size);
  // Loads only the index and checks that every entry lies inside the blob,
  // raising EReadError "Stream read error" for the first that does not; the
  // images stay in the resource and are read with Image, one at a time, so
  // a large product never sits in memory twice.
  bool LoadIndexFromResource(const TResourceReader& reader);
  void LoadIndexFromBlob(const char* blob, int64_t size);
  // The stored (encoded) bytes of an entry of an index loaded that way;
  // valid while the resource is.
  TResourceBytes Image(const TFileData& entry) const;
  // The length of the blob's part in front of the index, where the builder
  // writes the images, of the blob loaded last.
  int64_t ImagesSize() const { return FImagesSize; }

  // The first entry whose GUID equals guid exactly (letter case included).
  int IndexOfGUID(const WideString& guid) const;
  TFileData* FindByGUID(const WideString& guid) const;

private:
  // Parses the index at the blob's end into the list.
  void LoadIndex(const char* blob, int64_t size);
  const char* FBlob = nullptr;
  int64_t FBlobSize = 0;
  int64_t FImagesSize = 0;
};

// The entries of a list by GUID, found in constant time: what a product of
// thousands of files needs, where FindByGUID would search the list for
// each. The first entry of each GUID, as FindByGUID finds it. Valid while
// the list is unchanged.
class TFileDataLookup {
public:
  explicit TFileDataLookup(const TFileDataList& list);
  const TFileData* Find(const WideString& guid) const;

private:
  std::unordered_map<WideString, const TFileData*> FByGUID;
};

// Writes a file data blob image by image, so a package never needs all its
// files in memory: AddImage appends one encoded image to the stream at once,
// Finish writes the index and its length after the last one.
class TFileDataBlobWriter {
public:
  // The blob starts at dest's current position; offsets count from there.
  explicit TFileDataBlobWriter(TStream& dest);
  TFileDataBlobWriter(const TFileDataBlobWriter&) = delete;
  TFileDataBlobWriter& operator=(const TFileDataBlobWriter&) = delete;

  // Appends an encoded image (see TSetupfn::EncodeStream) under guid.
  // The blob is limited to 2 GB, as its offsets are 32-bit; beyond that
  // EWriteError is raised and nothing is appended.
  TFileData* AddImage(const WideString& guid, const void* image, int64_t size);
  // The whole content of an encoded stream.
  TFileData* AddImage(const WideString& guid, TMemoryStream& image);
  // Writes the encoded index and the trailer; no image may follow.
  void Finish();

  const TFileDataList& List() const { return FList; }
  // Bytes written so far.
  int64_t Size() const { return FSize; }

private:
  void Reserve(int64_t size) const;
  TStream& FDest;
  TFileDataList FList;
  int64_t FSize = 0;
  bool FFinished = false;
};
