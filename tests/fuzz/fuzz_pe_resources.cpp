// Reading the resources of an arbitrary image either lists resources whose
// bytes all came from the image, or fails with EPeFormatError; it never
// reads out of bounds, loops or allocates without limit. Whatever stub the
// writer accepts, its output must read back with the added resource in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "PeResourceWriter.h"
#include "QvExceptions.h"
#include "QvPeResources.h"

namespace {

void CheckReader(const std::string& image) {
  std::vector<TPeResourceEntry> resources;
  try {
    resources = ReadPeResources(image);
  } catch (const EPeFormatError&) {
    return;
  }
  uint64_t total = 0;
  for (const TPeResourceEntry& r : resources) {
    total += r.Data.size();
    const TPeResourceEntry* found = FindPeResource(resources, r.Type, r.Name);
    if (found == nullptr || !found->Type.Matches(r.Type) || !found->Name.Matches(r.Name)) std::abort();
  }
  if (total > image.size()) std::abort();
}

void CheckWriter(const std::string& image) {
  std::string out;
  try {
    TPeResourceWriter writer(image);
    writer.SetResource(TResourceId::FromId(RT_RCDATA_ID), TResourceId::FromName(u"{FUZZ}"), 0, "fuzz");
    out = writer.Build();
  } catch (const EPeFormatError&) {
    return;
  }
  const auto resources = ReadPeResources(out);  // must not throw
  const TPeResourceEntry* added =
      FindPeResource(resources, TResourceId::FromId(RT_RCDATA_ID), TResourceId::FromNarrow("{fuzz}"));
  if (added == nullptr || added->Data != "fuzz") std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string image(reinterpret_cast<const char*>(data), size);
  CheckReader(image);
  CheckWriter(image);
  return 0;
}
