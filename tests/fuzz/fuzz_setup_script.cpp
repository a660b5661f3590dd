// Arbitrary bytes as a setup script. Besides crashes, it checks that what
// the model writes it reads back to the same document: a script that
// survives one load must be stable under save and load.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "QvClasses.h"
#include "QvExceptions.h"
#include "SetupProject.h"

namespace {

std::string Save(const TSetupScript& script) {
  TMemoryStream out;
  script.SaveToStream(out);
  return out.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TSetupScript script;
  try {
    TMemoryStream in(std::string(reinterpret_cast<const char*>(data), size));
    script.LoadFromStream(in);
  } catch (const Exception&) {
    // A failed load leaves the tree partly filled; it must still be usable.
  }

  int32_t v[4];
  script.BaseInfo()->DecodeVersion(v[0], v[1], v[2], v[3]);
  for (int i = 0; i < script.FileList()->Count(); ++i)
    script.FileList()->Items(i)->ApplyVariables(*script.VarList());

  const std::string first = Save(script);
  TSetupScript again;
  TMemoryStream in(first);
  again.LoadFromStream(in);
  if (Save(again) != first) std::abort();
  return 0;
}
