// Loading arbitrary bytes either builds a tree or raises one of the system's
// exceptions. The tree is then read and written back, as the persistence
// layer would, to reach the accessors and the writer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "QvXmlUtils.h"

namespace {

void Visit(const TXmlNode* root) {
  std::vector<const TXmlNode*> pending{root};
  while (!pending.empty()) {
    const TXmlNode* node = pending.back();
    pending.pop_back();
    try {
      (void)node->GetName();
    } catch (const Exception&) {
    }
    for (int i = 0; i < node->Attributes.Count(); ++i) {
      try {
        (void)node->Attributes[i]->GetValue();
      } catch (const Exception&) {
      }
    }
    for (int i = 0; i < node->Children.Count(); ++i) {
      if (node->Children[i]->Parent != node) __builtin_trap();
      pending.push_back(node->Children[i]);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TXmlDocument doc;
  try {
    doc.LoadFromBuffer(reinterpret_cast<const char*>(data), size);
  } catch (const Exception&) {
  }
  if (doc.Root) {
    Visit(doc.Root.get());
    (void)doc.Root->FindChild(u"Items");
  }
  doc.Formatted = (size & 1) != 0;
  (void)doc.SaveToString();
  return 0;
}
