// A reader of the resource directory of PE32 and PE32+ images, independent
// of Windows: the native build reads setups through it, and setupkit uses it
// to inspect and rewrite them.
//
// Pe/ holds what reads PE images without Windows: their resources, SHA-256
// and the Authenticode digest. It builds on the base (Common/) alone.
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

// ---- image layout, shared with the resource writer ------------------------

constexpr int PE_DIR_RESOURCE = 2;
constexpr int PE_DIR_SECURITY = 4;     // its "RVA" is a file offset
constexpr int PE_DIR_BOUND_IMPORT = 11;

struct TPeSection {
  std::string Name;             // up to 8 bytes, NULs removed
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t PointerToRawData = 0;
  uint32_t Characteristics = 0;
  size_t HeaderOffset = 0;      // of its 40-byte header in the file
};

struct TPeDataDirectory {
  uint32_t VirtualAddress = 0;
  uint32_t Size = 0;
};

// Where the headers of an image are and what they say. Every offset here
// has been checked to lie inside the image.
struct TPeLayout {
  bool Pe32Plus = false;
  uint16_t Characteristics = 0;
  size_t FileHeaderOffset = 0;      // COFF file header, after "PE\0\0"
  size_t OptionalHeaderOffset = 0;
  uint16_t SizeOfOptionalHeader = 0;
  size_t SectionTableOffset = 0;
  uint32_t PointerToSymbolTable = 0;
  uint32_t SectionAlignment = 0;
  uint32_t FileAlignment = 0;
  uint32_t SizeOfImage = 0;
  uint32_t SizeOfHeaders = 0;
  uint32_t SizeOfInitializedData = 0;
  size_t CheckSumOffset = 0;
  size_t DataDirectoryOffset = 0;   // of entry 0
  std::vector<TPeDataDirectory> DataDirectories;  // NumberOfRvaAndSizes entries
  std::vector<TPeSection> Sections;

  TPeDataDirectory Directory(int index) const {
    return index < (int)DataDirectories.size() ? DataDirectories[index] : TPeDataDirectory();
  }
  // The section whose virtual range holds rva, or -1.
  int SectionOfRva(uint32_t rva) const;
  // File offset of size bytes at rva when they lie in one section's raw data
  // and inside an image of imageSize bytes.
  bool RvaToOffset(uint32_t rva, uint32_t size, size_t imageSize, size_t& offset) const;
};

// Parses and checks the DOS, COFF and optional headers and the section
// table. Failures raise EPeFormatError "not a PE image: <what is wrong>".
TPeLayout ParsePeLayout(const std::string& image);

// The resources of an already parsed image.
std::vector<TPeResourceEntry> ReadPeResources(const std::string& image, const TPeLayout& layout);
