// A reader of the resource directory of PE32 and PE32+ images, independent
// of Windows: the native build reads setups through it, and setupkit uses it
// to inspect and rewrite them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QvExceptions.h"
#include "QvTypes.h"

// A malformed or unsupported image; the message says what is wrong.
QV_DECLARE_EXCEPTION(EPeFormatError, Exception);

constexpr uint16_t RT_RCDATA_ID = 10;

// A resource type or name: a numeric id or a name (stored upper-case by
// resource compilers; compared without regard to ASCII case).
struct TResourceId {
  bool IsName = false;
  uint16_t Id = 0;
  WideString Name;
  static TResourceId FromId(uint16_t id) { TResourceId r; r.Id = id; return r; }
  static TResourceId FromName(const WideString& name) { TResourceId r; r.IsName = true; r.Name = name; return r; }
  // The way FindResourceA takes a narrow name: "#123" is the id 123, any
  // other text a name.
  static TResourceId FromNarrow(const std::string& text);
  bool Matches(const TResourceId& other) const;
};

struct TPeResourceEntry {
  TResourceId Type;
  TResourceId Name;
  uint16_t Language = 0;
  uint32_t CodePage = 0;
  std::string Data;
};

// Every resource of the image, in directory order. An image without a
// resource directory has none. Malformed images raise EPeFormatError.
std::vector<TPeResourceEntry> ReadPeResources(const std::string& image);

// The first resource of that type and name (any language), or none.
const TPeResourceEntry* FindPeResource(const std::vector<TPeResourceEntry>& resources, const TResourceId& type,
                                       const TResourceId& name);
