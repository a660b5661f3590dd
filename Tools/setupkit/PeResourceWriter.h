// Rewrites the resources of a PE image: the package builder loads the
// installer stub, adds its RCDATA resources and takes the new image's bytes
// or has them saved.
//
// What the output keeps and changes:
// - every resource of the stub (manifest, icons, version and anything else)
//   unless it was replaced or removed; the whole resource section is built
//   anew, with its tables in the order the loader's binary search needs;
// - an Authenticode signature is removed (security directory cleared, the
//   certificate table cut off), since the new bytes invalidate it anyway;
// - other data after the last section (an overlay) is kept and moved behind
//   the new end of the image; a COFF symbol table in it keeps being found;
// - the file is padded with zeros to a multiple of 8 bytes, as signers do
//   before they append a certificate table;
// - the resource section is rewritten in place when it is the image's last
//   section, otherwise a new ".rsrc" section is appended and the old one
//   stays behind unused;
// - SizeOfImage, SizeOfInitializedData, the resource directory and the PE
//   checksum are brought up to date.
//
// One resource may be streamed: its data is not held in memory but written
// straight into the output as it is produced, so that a setup of any size
// is built in the memory its stub needs. The resource section is always the
// image's last, and the streamed data comes last in it; the sizes that
// depend on it are patched once it is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "QvClasses.h"
#include "QvPeResources.h"

constexpr uint16_t RT_ICON_ID = 3;
constexpr uint16_t RT_GROUP_ICON_ID = 14;
constexpr uint16_t RT_VERSION_ID = 16;
constexpr uint16_t RT_MANIFEST_ID = 24;

// A resource whose data Write appends at dest's position; its size is
// whatever Write wrote. A resource of the same type, name and language in
// the writer is left out of the output in its favour.
struct TPeStreamedResource {
  TResourceId Type;
  TResourceId Name;
  uint16_t Language = 0;
  uint32_t CodePage = 0;
  std::function<void(TStream& dest)> Write;
};

class TPeResourceWriter {
public:
  // Takes the stub's bytes; raises EPeFormatError "stub is not a PE
  // executable: ..." when they are not an image the writer can rebuild.
  explicit TPeResourceWriter(std::string image);

  // The resources the output will carry, in the order they were found or
  // added.
  const std::vector<TPeResourceEntry>& Resources() const { return FResources; }
  bool WasSigned() const { return FSecurity.Size != 0; }

  // Adds the resource or replaces the data of the one with the same type,
  // name (ignoring ASCII case) and language. New names are stored
  // upper-case, as resource compilers store them and as FindResource looks
  // them up.
  void SetResource(const TResourceId& type, const TResourceId& name, uint16_t language, std::string data,
                   uint32_t codePage = 0);
  // The COFF header's TimeDateStamp of the output (seconds since 1970 UTC);
  // the stub's own unless set.
  void SetTimeStamp(uint32_t seconds);
  // Removes every language of that type and name; returns how many went.
  size_t RemoveResource(const TResourceId& type, const TResourceId& name);

  // The rebuilt image.
  std::string Build() const;
  // Writes the rebuilt image into dest, which must be empty, readable and
  // seekable (a file opened with fmCreate, or memory); with streamed, that
  // resource's data is written as it comes. The headers are rewritten and
  // the checksum computed by reading dest back at the end. Raises
  // EPeFormatError when the image would reach 2 GB (resources) or 4 GB (file).
  void WriteTo(TStream& dest, const TPeStreamedResource* streamed = nullptr) const;
  // Writes the rebuilt image under a temporary name beside fileName and
  // renames it at the end, so a failure never leaves half a setup behind.
  void SaveToFile(const WideString& fileName) const;

private:
  std::string FImage;
  TPeLayout FLayout;
  TPeDataDirectory FSecurity;
  std::vector<TPeResourceEntry> FResources;
};

// The resource section's content for these resources placed at sectionRva
// (before padding to the file alignment): directory tables, data entries,
// name strings, then the data, each block aligned to 8 bytes.
std::string BuildResourceSection(const std::vector<TPeResourceEntry>& resources, uint32_t sectionRva);

// The PE checksum of a stream, read from its beginning in pieces; its
// checksum field must hold 0.
uint32_t ComputePeChecksum(TStream& image);

// The PE checksum of the image: the 16-bit one's-complement sum of its words
// with the checksum field counted as 0, plus the file length.
uint32_t ComputePeChecksum(const std::string& image, size_t checkSumOffset);
