// Reading the resources of an arbitrary image either lists resources whose
// bytes all came from the image, or fails with EPeFormatError; it never
// reads out of bounds, loops or allocates without limit. Whatever stub the
// writer accepts, its output must read back with the added resource in it
// and end on 8 bytes. The Authenticode digest of an arbitrary image either
// fails with a reason or is one that signing the image does not change.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "PeResourceWriter.h"
#include "QvAuthenticode.h"
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
  if (out.size() % 8 != 0) std::abort();
}

bool Digest(const std::string& image, TSha256Digest& digest) {
  TMemoryStream m(image);
  WideString error;
  const bool ok = AuthenticodeSha256(m, digest, error);
  if (ok != error.empty()) std::abort();
  return ok;
}

void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (char)(v >> (8 * i));
}

void CheckDigest(const std::string& image) {
  TSha256Digest before, after;
  if (!Digest(image, before)) return;
  const TPeLayout l = ParsePeLayout(image);
  if (l.DataDirectories.size() <= (size_t)PE_DIR_SECURITY || l.Directory(PE_DIR_SECURITY).Size != 0) return;
  // What a signer does: pad to 8, append the table, point the entry at it
  // and write a checksum.
  std::string signedImage = image;
  signedImage.resize((signedImage.size() + 7) / 8 * 8, '\0');
  const size_t at = signedImage.size();
  signedImage += std::string("\x10\0\0\0\0\x02\x02\0SIGNATURE", 16);
  Put32(signedImage, l.DataDirectoryOffset + 8 * PE_DIR_SECURITY, (uint32_t)at);
  Put32(signedImage, l.DataDirectoryOffset + 8 * PE_DIR_SECURITY + 4, 16);
  Put32(signedImage, l.CheckSumOffset, 0xC0FFEE);
  // A signed image may be refused where the unsigned one was not (a section
  // whose rounded size reaches the table); accepted, it has the same digest.
  if (Digest(signedImage, after) && after != before) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string image(reinterpret_cast<const char*>(data), size);
  CheckReader(image);
  CheckWriter(image);
  CheckDigest(image);
  return 0;
}
