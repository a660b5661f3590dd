// Unescaping arbitrary bytes either yields text or raises one of the
// system's exceptions; anything else (a crash, a sanitizer report) is a bug.
#include <cstddef>
#include <cstdint>

#include "QvXmlUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    WideString text = XmlUnescape(reinterpret_cast<const char*>(data), size);
    // Escaping what came out must read back unchanged, except where the
    // input held lone surrogates that UTF-8 cannot carry.
    bool lone = false;
    for (size_t i = 0; i < text.size(); ++i) {
      const WideChar c = text[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        ++i;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        lone = true;
      }
    }
    if (!lone && XmlUnescape(XmlEscape(text)) != text) __builtin_trap();
  } catch (const Exception&) {
  }
  return 0;
}
