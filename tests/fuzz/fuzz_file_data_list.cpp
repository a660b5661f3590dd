// Loading the file data index from an arbitrary blob either fills every
// entry with exactly its slice of the blob or fails with one of the
// system's exceptions. Odd first bytes build the blob from the input
// (images, then an index text that the harness encodes and measures), so
// the fuzzer reaches the XML and the bounds checks instead of stopping at
// the codec.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FileDataClasses.h"
#include "MySetupUtils.h"
#include "PackageResources.h"
#include "QvClasses.h"
#include "QvExceptions.h"

namespace {

std::string StructuredBlob(const uint8_t* data, size_t size) {
  if (size < 2) return {};
  // The first byte says how much of the input is image bytes.
  const size_t images = std::min<size_t>(data[0] * 4u, size - 1);
  std::string blob(reinterpret_cast<const char*>(data + 1), images);
  TMemoryStream index(std::string(reinterpret_cast<const char*>(data + 1 + images), size - 1 - images));
  TSetupfn::EncodeStream(index);
  blob += index.Bytes();
  const uint32_t n = static_cast<uint32_t>(index.GetSize());
  const char trailer[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
  blob.append(trailer, 4);
  return blob;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string blob = (data[0] & 1) ? StructuredBlob(data + 1, size - 1)
                                         : std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  TMemoryResourceReader package;
  package.Add(FileDataResID, blob);
  TFileDataList list;
  bool loaded = false;
  try {
    loaded = list.LoadFromResource(package);
  } catch (const Exception&) {
  }
  for (int i = 0; i < list.Count(); ++i) {
    TFileData* e = list.Items(i);
    if (loaded || e->Data().GetSize() != 0) {
      if (e->Offset() < 0 || e->Bytes() < 0 || e->Data().GetSize() != e->Bytes()) __builtin_trap();
      if (std::memcmp(e->Data().Memory(), blob.data() + e->Offset(), static_cast<size_t>(e->Bytes())) != 0)
        __builtin_trap();
    }
    if (list.FindByGUID(e->GUID()) == nullptr) __builtin_trap();
  }
  return 0;
}
