#include "QvPeResources.h"

#include <set>

#include "QvSysUtils.h"

// Images come from anywhere (a downloaded setup, a user's stub), so every
// field is treated as hostile: offsets and sizes are checked with 64-bit
// arithmetic before a byte is read, and the directory walk refuses shapes
// that the loader would never produce (deeper than three levels, a table
// reached twice) instead of trusting them.

namespace {

const char16_t* const NotPe = u"not a PE image: ";

uint16_t Get16(const std::string& b, size_t at) {
  return (uint16_t)((uint8_t)b[at] | ((uint8_t)b[at + 1] << 8));
}

uint32_t Get32(const std::string& b, size_t at) {
  return (uint32_t)(uint8_t)b[at] | ((uint32_t)(uint8_t)b[at + 1] << 8) | ((uint32_t)(uint8_t)b[at + 2] << 16) |
         ((uint32_t)(uint8_t)b[at + 3] << 24);
}

bool Fits(uint64_t offset, uint64_t size, uint64_t total) { return offset <= total && size <= total - offset; }

WideString Ascii(const std::string& s) { return WideString(s.begin(), s.end()); }

WideString Hex(uint64_t value) { return u"0x" + IntToHex(value, 1); }

[[noreturn]] void Fail(const WideString& what) { throw EPeFormatError(what); }

WideChar FoldAscii(WideChar c) { return (c >= u'a' && c <= u'z') ? (WideChar)(c - 32) : c; }

bool SameAsciiText(const WideString& a, const WideString& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// The walk over the three levels of the resource tree. Offsets inside the
// tree count from the start of the resource directory; `view` is how many
// bytes from there on belong to the section that holds it.
class TResourceWalker {
public:
  TResourceWalker(const std::string& image, const TPeLayout& layout, size_t base, size_t view)
      : FImage(image), FLayout(layout), FBase(base), FView(view) {}

  std::vector<TPeResourceEntry> Run() {
    TPeResourceEntry path;
    Walk(0, 0, path);
    return std::move(FResult);
  }

private:
  const std::string& FImage;
  const TPeLayout& FLayout;
  size_t FBase;
  size_t FView;
  std::set<uint32_t> FTables;
  uint64_t FTableBytes = 0;
  uint64_t FDataBytes = 0;
  uint64_t FNameUnits = 0;
  std::vector<TPeResourceEntry> FResult;

  static const char16_t* LevelName(int level) {
    return level == 0 ? u"type" : level == 1 ? u"name" : u"language";
  }

  TResourceId ReadId(uint32_t field, int level) {
    if (!(field & 0x80000000u)) {
      if (field > 0xFFFF) Fail(WideString(u"resource ") + LevelName(level) + u" id " + Hex(field) + u" is out of range");
      return TResourceId::FromId((uint16_t)field);
    }
    uint32_t at = field & 0x7FFFFFFFu;
    if (!Fits(at, 2, FView)) Fail(u"resource name string lies outside the resource section");
    uint16_t length = Get16(FImage, FBase + at);
    if (!Fits((uint64_t)at + 2, (uint64_t)length * 2, FView))
      Fail(u"resource name string runs past the end of the resource section");
    WideString name;
    name.reserve(length);
    for (uint32_t i = 0; i < length; ++i) name.push_back((WideChar)Get16(FImage, FBase + at + 2 + 2 * i));
    return TResourceId::FromName(name);
  }

  void Walk(uint32_t table, int level, TPeResourceEntry& path) {
    // Each table is reached once in a sound tree; a second visit means a
    // loop or shared subtrees, which could multiply the work without end.
    if (!FTables.insert(table).second)
      Fail(u"resource directory table at " + Hex(table) + u" is referenced more than once");
    if (!Fits(table, 16, FView)) Fail(u"resource directory table lies outside the resource section");
    size_t at = FBase + table;
    uint32_t count = (uint32_t)Get16(FImage, at + 12) + Get16(FImage, at + 14);
    if (!Fits((uint64_t)table + 16, (uint64_t)count * 8, FView))
      Fail(u"resource directory entries run past the end of the resource section");
    // Distinct but overlapping tables would let a few kilobytes describe
    // millions of entries; in a sound tree the tables together fit in the
    // section, and so must these.
    FTableBytes += 16 + (uint64_t)count * 8;
    if (FTableBytes > FView) Fail(u"resource directory tables overlap");
    for (uint32_t i = 0; i < count; ++i) {
      size_t entry = at + 16 + 8 * (size_t)i;
      uint32_t nameField = Get32(FImage, entry);
      uint32_t target = Get32(FImage, entry + 4);
      bool isDir = (target & 0x80000000u) != 0;
      target &= 0x7FFFFFFFu;
      if (level < 2) {
        if (!isDir) Fail(WideString(u"resource ") + LevelName(level) + u" entry points to data, not to a directory");
        (level == 0 ? path.Type : path.Name) = ReadId(nameField, level);
        Walk(target, level + 1, path);
      } else {
        if (isDir) Fail(u"resource directory is nested deeper than three levels");
        if (nameField & 0x80000000u) Fail(u"resource language entry carries a name instead of a language id");
        if (nameField > 0xFFFF) Fail(u"resource language id " + Hex(nameField) + u" is out of range");
        path.Language = (uint16_t)nameField;
        ReadData(target, path);
      }
    }
  }

  void ReadData(uint32_t dataEntry, const TPeResourceEntry& path) {
    if (!Fits(dataEntry, 16, FView)) Fail(u"resource data entry lies outside the resource section");
    size_t at = FBase + dataEntry;
    uint32_t rva = Get32(FImage, at);
    uint32_t size = Get32(FImage, at + 4);
    size_t offset = 0;
    if (!FLayout.RvaToOffset(rva, size, FImage.size(), offset))
      Fail(u"resource data entry points outside the image (RVA " + Hex(rva) + u", " + Hex(size) + u" bytes)");
    // Sound images keep each resource's bytes apart, so the copies together
    // never exceed the image; overlapping entries could otherwise make a
    // small file claim terabytes.
    FDataBytes += size;
    if (FDataBytes > FImage.size()) Fail(u"resource data entries claim more bytes than the image holds");
    // Every entry carries its type and name; one long string shared by
    // many entries must not turn into gigabytes of copies.
    FNameUnits += path.Type.Name.size() + path.Name.Name.size();
    if (FNameUnits > (uint64_t)FImage.size() + (1u << 20))
      Fail(u"resource names repeated more often than the image can hold");
    TPeResourceEntry entry = path;
    entry.CodePage = Get32(FImage, at + 8);
    entry.Data.assign(FImage, offset, size);
    FResult.push_back(std::move(entry));
  }
};

}  // namespace

TResourceId TResourceId::FromNarrow(const std::string& text) {
  if (!text.empty() && text[0] == '#') {
    // FindResourceA reads "#123" as the number. A "#" that is not followed
    // by a 16-bit decimal number is a caller's mistake worth naming rather
    // than a name to look for.
    uint32_t value = 0;
    bool ok = text.size() > 1;
    for (size_t i = 1; ok && i < text.size(); ++i) {
      ok = text[i] >= '0' && text[i] <= '9';
      value = value * 10 + (uint32_t)(text[i] - '0');
      ok = ok && value <= 0xFFFF;
    }
    if (!ok) throw EConvertError(u"'" + AnsiToWide(text) + u"' is not a valid resource id");
    return FromId((uint16_t)value);
  }
  bool ascii = true;
  for (char c : text) ascii = ascii && (uint8_t)c < 0x80;
  return FromName(ascii ? Ascii(text) : AnsiToWide(text));
}

bool TResourceId::Matches(const TResourceId& other) const {
  if (IsName != other.IsName) return false;
  return IsName ? SameAsciiText(Name, other.Name) : Id == other.Id;
}

int TPeLayout::SectionOfRva(uint32_t rva) const {
  for (size_t i = 0; i < Sections.size(); ++i) {
    const TPeSection& s = Sections[i];
    uint32_t extent = s.VirtualSize ? s.VirtualSize : s.SizeOfRawData;
    if (rva >= s.VirtualAddress && (uint64_t)rva < (uint64_t)s.VirtualAddress + extent) return (int)i;
  }
  return -1;
}

bool TPeLayout::RvaToOffset(uint32_t rva, uint32_t size, size_t imageSize, size_t& offset) const {
  for (const TPeSection& s : Sections) {
    if (rva < s.VirtualAddress) continue;
    uint64_t delta = rva - s.VirtualAddress;
    uint32_t extent = s.VirtualSize ? s.VirtualSize : s.SizeOfRawData;
    // An empty block may sit at the very end of a section.
    if (delta > extent || (delta == extent && size > 0)) continue;
    // Only bytes that are present in the file can be handed out: the tail
    // of a section beyond its raw data is zero-filled memory, not file.
    if (!Fits(delta, size, s.SizeOfRawData) || !Fits(delta, size, extent)) return false;
    uint64_t at = (uint64_t)s.PointerToRawData + delta;
    if (!Fits(at, size, imageSize)) return false;
    offset = (size_t)at;
    return true;
  }
  return false;
}

TPeLayout ParsePeLayout(const std::string& image) {
  TPeLayout l;
  const uint64_t n = image.size();
  if (n < 64 || image[0] != 'M' || image[1] != 'Z') Fail(WideString(NotPe) + u"missing MZ signature");
  uint32_t peOffset = Get32(image, 0x3C);
  if (!Fits(peOffset, 24, n)) Fail(WideString(NotPe) + u"PE header offset " + Hex(peOffset) + u" lies outside the file");
  if (image.compare(peOffset, 4, std::string("PE\0\0", 4)) != 0) Fail(WideString(NotPe) + u"missing PE signature");
  l.FileHeaderOffset = peOffset + 4;
  uint16_t sectionCount = Get16(image, l.FileHeaderOffset + 2);
  l.PointerToSymbolTable = Get32(image, l.FileHeaderOffset + 8);
  l.SizeOfOptionalHeader = Get16(image, l.FileHeaderOffset + 16);
  l.Characteristics = Get16(image, l.FileHeaderOffset + 18);
  l.OptionalHeaderOffset = l.FileHeaderOffset + 20;
  if (l.SizeOfOptionalHeader < 2 || !Fits(l.OptionalHeaderOffset, l.SizeOfOptionalHeader, n))
    Fail(WideString(NotPe) + u"optional header runs past the end of the file");
  uint16_t magic = Get16(image, l.OptionalHeaderOffset);
  if (magic != 0x10B && magic != 0x20B)
    Fail(WideString(NotPe) + u"unknown optional header magic " + Hex(magic));
  l.Pe32Plus = magic == 0x20B;
  const size_t dirsAt = l.Pe32Plus ? 112 : 96;
  if (l.SizeOfOptionalHeader < dirsAt) Fail(WideString(NotPe) + u"optional header is too short");
  const size_t o = l.OptionalHeaderOffset;
  l.SizeOfInitializedData = Get32(image, o + 8);
  l.SectionAlignment = Get32(image, o + 32);
  l.FileAlignment = Get32(image, o + 36);
  l.SizeOfImage = Get32(image, o + 56);
  l.SizeOfHeaders = Get32(image, o + 60);
  l.CheckSumOffset = o + 64;
  uint32_t dirCount = Get32(image, o + dirsAt - 4);
  if ((uint64_t)dirCount * 8 > l.SizeOfOptionalHeader - dirsAt)
    Fail(WideString(NotPe) + u"data directories do not fit in the optional header");
  l.DataDirectoryOffset = o + dirsAt;
  for (uint32_t i = 0; i < dirCount; ++i)
    l.DataDirectories.push_back({Get32(image, l.DataDirectoryOffset + 8 * i), Get32(image, l.DataDirectoryOffset + 8 * i + 4)});
  l.SectionTableOffset = o + l.SizeOfOptionalHeader;
  if (!Fits(l.SectionTableOffset, (uint64_t)sectionCount * 40, n))
    Fail(WideString(NotPe) + u"section table runs past the end of the file");
  for (uint16_t i = 0; i < sectionCount; ++i) {
    size_t h = l.SectionTableOffset + 40 * (size_t)i;
    TPeSection s;
    s.HeaderOffset = h;
    s.Name.assign(image, h, 8);
    s.Name.erase(s.Name.find_last_not_of('\0') + 1);
    s.VirtualSize = Get32(image, h + 8);
    s.VirtualAddress = Get32(image, h + 12);
    s.SizeOfRawData = Get32(image, h + 16);
    s.PointerToRawData = Get32(image, h + 20);
    s.Characteristics = Get32(image, h + 36);
    l.Sections.push_back(s);
  }
  return l;
}

std::vector<TPeResourceEntry> ReadPeResources(const std::string& image, const TPeLayout& layout) {
  TPeDataDirectory dir = layout.Directory(PE_DIR_RESOURCE);
  if (dir.VirtualAddress == 0) return {};
  int section = layout.SectionOfRva(dir.VirtualAddress);
  if (section < 0) Fail(u"resource directory RVA " + Hex(dir.VirtualAddress) + u" lies in no section");
  const TPeSection& s = layout.Sections[section];
  // The tree may use every byte of its section from the directory on; the
  // directory's own Size is not reliable enough to bound it.
  uint32_t delta = dir.VirtualAddress - s.VirtualAddress;
  uint32_t extent = s.VirtualSize ? s.VirtualSize : s.SizeOfRawData;
  uint32_t inFile = s.SizeOfRawData < extent ? s.SizeOfRawData : extent;
  if (delta >= inFile) Fail(u"resource directory lies beyond its section's data in the file");
  size_t base = 0;
  uint32_t view = inFile - delta;
  if ((uint64_t)s.PointerToRawData + delta >= image.size())
    Fail(u"resource directory lies outside the file");
  base = s.PointerToRawData + delta;
  if (view > image.size() - base) view = (uint32_t)(image.size() - base);
  return TResourceWalker(image, layout, base, view).Run();
}

std::vector<TPeResourceEntry> ReadPeResources(const std::string& image) {
  TPeLayout layout = ParsePeLayout(image);
  return ReadPeResources(image, layout);
}

const TPeResourceEntry* FindPeResource(const std::vector<TPeResourceEntry>& resources, const TResourceId& type,
                                       const TResourceId& name) {
  for (const TPeResourceEntry& r : resources)
    if (r.Type.Matches(type) && r.Name.Matches(name)) return &r;
  return nullptr;
}
