#include "PeResourceWriter.h"

#include <algorithm>
#include <memory>

#include "HostFiles.h"
#include "QvSysUtils.h"

namespace {

const char16_t* const NotExe = u"stub is not a PE executable: ";

void Put16(std::string& b, size_t at, uint16_t v) {
  b[at] = (char)(v & 0xFF);
  b[at + 1] = (char)(v >> 8);
}

void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (char)((v >> (8 * i)) & 0xFF);
}

uint64_t AlignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

bool PowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

WideString Ascii(const std::string& s) { return WideString(s.begin(), s.end()); }

WideString Hex(uint64_t value) { return u"0x" + IntToHex(value, 1); }

WideString Detail(const EPeFormatError& e) {
  // The layout parser speaks of "a PE image"; here the reader is the person
  // who chose the stub, so keep only what is wrong.
  static const WideString prefix = u"not a PE image: ";
  const WideString& m = e.Message();
  return m.compare(0, prefix.size(), prefix) == 0 ? m.substr(prefix.size()) : m;
}

WideChar FoldAscii(WideChar c) { return (c >= u'a' && c <= u'z') ? (WideChar)(c - 32) : c; }

WideString UpperAscii(WideString s) {
  for (WideChar& c : s) c = FoldAscii(c);
  return s;
}

// The order of a directory table: named entries first, then ids. The
// loader upper-cases the name it looks for and binary-searches the named
// entries comparing UTF-16 units, a shorter name before its extensions, so
// names sort by their upper-cased units (which, for names stored upper-case
// as resource compilers do, is their stored form).
bool IdLess(const TResourceId& a, const TResourceId& b) {
  if (a.IsName != b.IsName) return a.IsName;
  if (!a.IsName) return a.Id < b.Id;
  return std::lexicographical_compare(a.Name.begin(), a.Name.end(), b.Name.begin(), b.Name.end(),
                                      [](WideChar x, WideChar y) { return FoldAscii(x) < FoldAscii(y); });
}

struct TNameNode {
  TResourceId Id;
  std::vector<const TPeResourceEntry*> Languages;
};

struct TTypeNode {
  TResourceId Id;
  std::vector<TNameNode> Names;
};

// The section for resources; tail, when given, is one of them whose data is
// not there yet: its data entry points past everything else with size 0,
// and tailEntry receives that entry's offset so its size can be patched.
std::string BuildSection(const std::vector<const TPeResourceEntry*>& resources, uint32_t sectionRva,
                         const TPeResourceEntry* tail, size_t* tailEntry) {
  // Group into the three levels. Ids that match (names ignoring case) share
  // a node; a repeated type, name and language keeps its first data, since
  // two equal keys would leave the binary search's choice undefined.
  std::vector<TTypeNode> types;
  for (const TPeResourceEntry* rp : resources) {
    const TPeResourceEntry& r = *rp;
    auto t = std::find_if(types.begin(), types.end(), [&](const TTypeNode& n) { return n.Id.Matches(r.Type); });
    if (t == types.end()) t = types.insert(types.end(), TTypeNode{r.Type, {}});
    auto n = std::find_if(t->Names.begin(), t->Names.end(), [&](const TNameNode& x) { return x.Id.Matches(r.Name); });
    if (n == t->Names.end()) n = t->Names.insert(t->Names.end(), TNameNode{r.Name, {}});
    bool repeated = std::any_of(n->Languages.begin(), n->Languages.end(),
                                [&](const TPeResourceEntry* e) { return e->Language == r.Language; });
    if (!repeated) n->Languages.push_back(&r);
  }
  std::stable_sort(types.begin(), types.end(), [](const TTypeNode& a, const TTypeNode& b) { return IdLess(a.Id, b.Id); });
  size_t leaves = 0;
  for (TTypeNode& t : types) {
    std::stable_sort(t.Names.begin(), t.Names.end(), [](const TNameNode& a, const TNameNode& b) { return IdLess(a.Id, b.Id); });
    for (TNameNode& n : t.Names) {
      std::stable_sort(n.Languages.begin(), n.Languages.end(),
                       [](const TPeResourceEntry* a, const TPeResourceEntry* b) { return a->Language < b->Language; });
      leaves += n.Languages.size();
    }
  }
  if (types.size() > 0xFFFF) throw EPeFormatError(u"too many resource types for one directory table");

  // Layout: root, the type tables, the name tables (breadth first), the
  // data entries, the name strings, then the data.
  size_t tablesSize = 16 + 8 * types.size();
  for (const TTypeNode& t : types) {
    if (t.Names.size() > 0xFFFF) throw EPeFormatError(u"too many resources of one type for one directory table");
    tablesSize += 16 + 8 * t.Names.size();
    for (const TNameNode& n : t.Names) tablesSize += 16 + 8 * n.Languages.size();
  }
  size_t entriesAt = tablesSize;
  size_t stringsAt = entriesAt + 16 * leaves;
  size_t stringsSize = 0;
  for (const TTypeNode& t : types) {
    if (t.Id.IsName) stringsSize += 2 + 2 * t.Id.Name.size();
    for (const TNameNode& n : t.Names)
      if (n.Id.IsName) stringsSize += 2 + 2 * n.Id.Name.size();
  }
  uint64_t dataAt = AlignUp(stringsAt + stringsSize, 8);
  uint64_t total = dataAt;
  for (const TTypeNode& t : types)
    for (const TNameNode& n : t.Names)
      for (const TPeResourceEntry* e : n.Languages) total = AlignUp(total + e->Data.size(), 8);
  if (total + sectionRva > 0x7FFFFFFFu) throw EPeFormatError(u"resources are too large for a PE image");

  std::string out((size_t)total, '\0');
  size_t nextTable = 16 + 8 * types.size();
  size_t nextEntry = entriesAt, nextString = stringsAt;
  uint64_t nextData = dataAt;
  auto writeHeader = [&](size_t at, const std::vector<TResourceId>& ids) {
    uint16_t named = (uint16_t)std::count_if(ids.begin(), ids.end(), [](const TResourceId& i) { return i.IsName; });
    Put16(out, at + 12, named);
    Put16(out, at + 14, (uint16_t)(ids.size() - named));
  };
  auto nameField = [&](const TResourceId& id) -> uint32_t {
    if (!id.IsName) return id.Id;
    if (id.Name.size() > 0xFFFF) throw EPeFormatError(u"resource name is too long");
    uint32_t at = (uint32_t)nextString;
    Put16(out, nextString, (uint16_t)id.Name.size());
    for (size_t i = 0; i < id.Name.size(); ++i) Put16(out, nextString + 2 + 2 * i, id.Name[i]);
    nextString += 2 + 2 * id.Name.size();
    return 0x80000000u | at;
  };

  std::vector<TResourceId> ids;
  for (const TTypeNode& t : types) ids.push_back(t.Id);
  writeHeader(0, ids);
  std::vector<size_t> typeTables;
  for (size_t i = 0; i < types.size(); ++i) {
    typeTables.push_back(nextTable);
    Put32(out, 16 + 8 * i, nameField(types[i].Id));
    Put32(out, 16 + 8 * i + 4, 0x80000000u | (uint32_t)nextTable);
    nextTable += 16 + 8 * types[i].Names.size();
  }
  for (size_t i = 0; i < types.size(); ++i) {
    const TTypeNode& t = types[i];
    ids.clear();
    for (const TNameNode& n : t.Names) ids.push_back(n.Id);
    writeHeader(typeTables[i], ids);
    for (size_t j = 0; j < t.Names.size(); ++j) {
      size_t e = typeTables[i] + 16 + 8 * j;
      Put32(out, e, nameField(t.Names[j].Id));
      Put32(out, e + 4, 0x80000000u | (uint32_t)nextTable);
      const TNameNode& n = t.Names[j];
      Put16(out, nextTable + 14, (uint16_t)n.Languages.size());
      for (size_t k = 0; k < n.Languages.size(); ++k) {
        const TPeResourceEntry& r = *n.Languages[k];
        Put32(out, nextTable + 16 + 8 * k, r.Language);
        Put32(out, nextTable + 16 + 8 * k + 4, (uint32_t)nextEntry);
        if (&r == tail) {
          // Its data follows the section's last aligned byte.
          Put32(out, nextEntry, sectionRva + (uint32_t)total);
          Put32(out, nextEntry + 8, r.CodePage);
          *tailEntry = nextEntry;
          nextEntry += 16;
          continue;
        }
        Put32(out, nextEntry, sectionRva + (uint32_t)nextData);
        Put32(out, nextEntry + 4, (uint32_t)r.Data.size());
        Put32(out, nextEntry + 8, r.CodePage);
        std::copy(r.Data.begin(), r.Data.end(), out.begin() + (size_t)nextData);
        nextData = AlignUp(nextData + r.Data.size(), 8);
        nextEntry += 16;
      }
      nextTable += 16 + 8 * n.Languages.size();
    }
  }
  return out;
}

}  // namespace

std::string BuildResourceSection(const std::vector<TPeResourceEntry>& resources, uint32_t sectionRva) {
  std::vector<const TPeResourceEntry*> list;
  for (const TPeResourceEntry& r : resources) list.push_back(&r);
  return BuildSection(list, sectionRva, nullptr, nullptr);
}

uint32_t ComputePeChecksum(const std::string& image, size_t checkSumOffset) {
  const size_t n = image.size();
  auto byteAt = [&](size_t i) -> uint32_t {
    return (i >= checkSumOffset && i < checkSumOffset + 4) ? 0 : (uint8_t)image[i];
  };
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 1 < n; i += 2) sum += byteAt(i) | (byteAt(i + 1) << 8);
  if (i < n) sum += byteAt(i);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return (uint32_t)sum + (uint32_t)n;
}

uint32_t ComputePeChecksum(TStream& image) {
  // An even piece size keeps every 16-bit word inside one piece.
  constexpr int64_t kPiece = 1 << 20;
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  image.SetPosition(0);
  uint64_t sum = 0, length = 0;
  for (;;) {
    const int64_t got = image.Read(buffer.get(), kPiece);
    if (got <= 0) break;
    const auto* p = reinterpret_cast<const uint8_t*>(buffer.get());
    const size_t n = (size_t)got;
    size_t i = 0;
    // Partial sums stay far below 2^64 for any image under 4 GB.
    for (; i + 1 < n; i += 2) sum += (uint32_t)p[i] | ((uint32_t)p[i + 1] << 8);
    if (i < n) sum += p[i];
    length += n;
    if (got < kPiece) break;
  }
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return (uint32_t)sum + (uint32_t)length;
}

TPeResourceWriter::TPeResourceWriter(std::string image) : FImage(std::move(image)) {
  try {
    FLayout = ParsePeLayout(FImage);
  } catch (const EPeFormatError& e) {
    throw EPeFormatError(NotExe + Detail(e));
  }
  const TPeLayout& l = FLayout;
  if (!(l.Characteristics & 0x0002)) throw EPeFormatError(WideString(NotExe) + u"the image is not marked executable");
  // Sound images align raw data to 512 bytes up to 64 KB (or less in
  // images whose sections are aligned alike); a larger value would only
  // pad the output with gigabytes of zeros.
  if (!PowerOfTwo(l.FileAlignment) || l.FileAlignment > 0x10000)
    throw EPeFormatError(NotExe + WideString(u"FileAlignment ") + Hex(l.FileAlignment) +
                         u" is not a power of two up to 0x10000");
  if (!PowerOfTwo(l.SectionAlignment) || l.SectionAlignment < l.FileAlignment)
    throw EPeFormatError(NotExe + WideString(u"SectionAlignment ") + Hex(l.SectionAlignment) +
                         u" is not a power of two at least FileAlignment");
  if (l.DataDirectories.size() <= (size_t)PE_DIR_RESOURCE)
    throw EPeFormatError(WideString(NotExe) + u"the optional header has no resource directory entry");
  if (l.SizeOfHeaders > FImage.size() || l.SectionTableOffset + 40 * l.Sections.size() > l.SizeOfHeaders)
    throw EPeFormatError(WideString(NotExe) + u"the section table does not fit in SizeOfHeaders");
  uint32_t lastVa = 0;
  for (const TPeSection& s : l.Sections) {
    if (s.SizeOfRawData && (uint64_t)s.PointerToRawData + s.SizeOfRawData > FImage.size())
      throw EPeFormatError(NotExe + WideString(u"section ") + Ascii(s.Name) + u" runs past the end of the file");
    if (s.SizeOfRawData && s.PointerToRawData < l.SizeOfHeaders)
      throw EPeFormatError(NotExe + WideString(u"section ") + Ascii(s.Name) + u" overlaps the headers");
    if (s.VirtualAddress < lastVa)
      throw EPeFormatError(WideString(NotExe) + u"sections are not in ascending address order");
    uint64_t extent = s.VirtualSize ? s.VirtualSize : s.SizeOfRawData;
    if ((uint64_t)s.VirtualAddress + extent > 0xFFFFFFFFu)
      throw EPeFormatError(NotExe + WideString(u"section ") + Ascii(s.Name) + u" ends beyond 4 GB");
    lastVa = (uint32_t)(s.VirtualAddress + extent);
  }
  FSecurity = l.Directory(PE_DIR_SECURITY);
  if (FSecurity.Size) {
    uint64_t end = (uint64_t)FSecurity.VirtualAddress + FSecurity.Size;
    if (end > FImage.size()) throw EPeFormatError(WideString(NotExe) + u"the certificate table runs past the end of the file");
    if (FSecurity.VirtualAddress < l.SizeOfHeaders)
      throw EPeFormatError(WideString(NotExe) + u"the certificate table overlaps the headers");
    for (const TPeSection& s : l.Sections)
      if (s.SizeOfRawData && FSecurity.VirtualAddress < (uint64_t)s.PointerToRawData + s.SizeOfRawData)
        throw EPeFormatError(WideString(NotExe) + u"the certificate table overlaps section " + Ascii(s.Name));
  }
  try {
    FResources = ReadPeResources(FImage, FLayout);
  } catch (const EPeFormatError& e) {
    throw EPeFormatError(u"stub has a malformed resource directory: " + e.Message());
  }
}

void TPeResourceWriter::SetResource(const TResourceId& type, const TResourceId& name, uint16_t language,
                                    std::string data, uint32_t codePage) {
  for (TPeResourceEntry& r : FResources)
    if (r.Type.Matches(type) && r.Name.Matches(name) && r.Language == language) {
      r.Data = std::move(data);
      r.CodePage = codePage;
      return;
    }
  TPeResourceEntry r;
  r.Type = type;
  r.Name = name;
  if (r.Type.IsName) r.Type.Name = UpperAscii(r.Type.Name);
  if (r.Name.IsName) r.Name.Name = UpperAscii(r.Name.Name);
  r.Language = language;
  r.CodePage = codePage;
  r.Data = std::move(data);
  FResources.push_back(std::move(r));
}

void TPeResourceWriter::SetTimeStamp(uint32_t seconds) {
  const size_t at = FLayout.FileHeaderOffset + 4;  // after Machine and NumberOfSections
  for (int i = 0; i < 4; ++i) FImage[at + i] = static_cast<char>(seconds >> (8 * i));
}

size_t TPeResourceWriter::RemoveResource(const TResourceId& type, const TResourceId& name) {
  size_t before = FResources.size();
  FResources.erase(std::remove_if(FResources.begin(), FResources.end(),
                                  [&](const TPeResourceEntry& r) { return r.Type.Matches(type) && r.Name.Matches(name); }),
                   FResources.end());
  return before - FResources.size();
}

std::string TPeResourceWriter::Build() const {
  TMemoryStream out;
  WriteTo(out);
  return out.TakeBytes();
}

void TPeResourceWriter::WriteTo(TStream& dest, const TPeStreamedResource* streamed) const {
  const TPeLayout& l = FLayout;
  const size_t n = l.Sections.size();
  // End of the image proper: the furthest raw data of any section.
  uint64_t imageEnd = l.SizeOfHeaders;
  uint64_t firstRaw = FImage.size();
  uint64_t virtualEnd = AlignUp(l.SizeOfHeaders, l.SectionAlignment);
  for (const TPeSection& s : l.Sections) {
    if (s.SizeOfRawData) {
      imageEnd = std::max<uint64_t>(imageEnd, (uint64_t)s.PointerToRawData + s.SizeOfRawData);
      firstRaw = std::min<uint64_t>(firstRaw, s.PointerToRawData);
    }
    virtualEnd = std::max<uint64_t>(virtualEnd, (uint64_t)s.VirtualAddress + (s.VirtualSize ? s.VirtualSize : s.SizeOfRawData));
  }

  // Rewrite in place only a section that is nothing but the resource
  // directory and comes last both in memory and in the file; anything else
  // might hold bytes that code refers to.
  TPeDataDirectory resDir = l.Directory(PE_DIR_RESOURCE);
  int rs = resDir.VirtualAddress ? l.SectionOfRva(resDir.VirtualAddress) : -1;
  bool inPlace = rs >= 0 && (size_t)rs == n - 1 && l.Sections[rs].Name == ".rsrc" &&
                 l.Sections[rs].VirtualAddress == resDir.VirtualAddress &&
                 (l.Sections[rs].SizeOfRawData == 0 ||
                  (uint64_t)l.Sections[rs].PointerToRawData + l.Sections[rs].SizeOfRawData == imageEnd);
  uint64_t keepEnd = imageEnd;  // bytes [0, keepEnd) are copied as they are
  // The section's data starts on a page in the file, not only on the
  // FileAlignment the linker chose (512 bytes): a loader can then map the
  // package straight from the file (Wine reads a section that does not
  // start on a page into fresh memory, all 200 MB of it, before the first
  // instruction runs). A multiple of 4096 is a multiple of every smaller
  // FileAlignment, so the image stays valid.
  const uint64_t rawAlign = std::max<uint64_t>(l.FileAlignment, 4096);
  uint32_t rva;
  uint64_t rawPtr;
  uint32_t oldRaw = 0;
  if (inPlace) {
    const TPeSection& s = l.Sections[rs];
    rva = s.VirtualAddress;
    oldRaw = s.SizeOfRawData;
    if (s.SizeOfRawData) {
      keepEnd = s.PointerToRawData;
      rawPtr = AlignUp(keepEnd, rawAlign);
    } else {
      rawPtr = AlignUp(imageEnd, rawAlign);
    }
  } else {
    rva = (uint32_t)std::min<uint64_t>(AlignUp(virtualEnd, l.SectionAlignment), 0xFFFFFFFFu);
    rawPtr = AlignUp(imageEnd, rawAlign);
  }

  // The streamed resource takes the place of one held under its key.
  std::vector<const TPeResourceEntry*> resources;
  TPeResourceEntry tail;
  if (streamed) {
    tail.Type = streamed->Type;
    tail.Name = streamed->Name;
    if (tail.Type.IsName) tail.Type.Name = UpperAscii(tail.Type.Name);
    if (tail.Name.IsName) tail.Name.Name = UpperAscii(tail.Name.Name);
    tail.Language = streamed->Language;
    tail.CodePage = streamed->CodePage;
  }
  for (const TPeResourceEntry& r : FResources)
    if (!streamed || !(r.Type.Matches(tail.Type) && r.Name.Matches(tail.Name) && r.Language == tail.Language))
      resources.push_back(&r);
  if (streamed) resources.push_back(&tail);
  size_t tailEntry = 0;
  const std::string section = BuildSection(resources, rva, streamed ? &tail : nullptr, &tailEntry);

  // What follows the image: the overlay without the certificate table (and
  // without the zero padding the signer put before it).
  uint64_t certAt = FSecurity.Size ? FSecurity.VirtualAddress : FImage.size();
  uint64_t certEnd = FSecurity.Size ? certAt + FSecurity.Size : FImage.size();
  uint64_t before = certAt > imageEnd ? certAt - imageEnd : 0;
  if (FSecurity.Size && before < 8 && FImage.find_first_not_of('\0', imageEnd) >= certAt) before = 0;

  // Everything up to the streamed data is built in memory (the stub and the
  // small resources), written, and written again once its headers are final.
  std::string out = FImage.substr(0, (size_t)keepEnd);
  out.resize((size_t)rawPtr, '\0');
  out += section;
  dest.SetPosition(0);
  dest.WriteBuffer(out.data(), (int64_t)out.size());

  uint64_t sectionSize = section.size();
  if (streamed) {
    const int64_t start = dest.GetPosition();
    streamed->Write(dest);
    const uint64_t size = (uint64_t)(dest.GetPosition() - start);
    if (size > 0xFFFFFFFFu) throw EPeFormatError(u"resources are too large for a PE image");
    Put32(out, (size_t)rawPtr + tailEntry + 4, (uint32_t)size);
    sectionSize = AlignUp(sectionSize + size, 8);
  }
  const uint64_t rawSize = AlignUp(sectionSize, l.FileAlignment);
  if ((uint64_t)rva + AlignUp(sectionSize, l.SectionAlignment) > 0x7FFFFFFFu)
    throw EPeFormatError(u"resources are too large for a PE image");
  const std::string zeros(l.FileAlignment, '\0');
  for (uint64_t at = (uint64_t)dest.GetPosition(), end = rawPtr + rawSize; at < end;) {
    const uint64_t piece = std::min<uint64_t>(end - at, zeros.size());
    dest.WriteBuffer(zeros.data(), (int64_t)piece);
    at += piece;
  }

  const uint64_t overlayAt = rawPtr + rawSize;
  dest.WriteBuffer(FImage.data() + imageEnd, (int64_t)before);
  if (certEnd < FImage.size()) dest.WriteBuffer(FImage.data() + certEnd, (int64_t)(FImage.size() - certEnd));
  // The file ends on an 8-byte boundary, where a signer puts the
  // certificate table: signing then appends and changes nothing before it.
  static const char kEightZeros[8] = {};
  if (const int64_t odd = dest.GetPosition() % 8) dest.WriteBuffer(kEightZeros, 8 - odd);
  if ((uint64_t)dest.GetPosition() > 0xFFFFFFFFu) throw EPeFormatError(u"the rebuilt image is larger than 4 GB");

  // Headers.
  const size_t opt = l.OptionalHeaderOffset;
  uint32_t sectionVirtual = (uint32_t)sectionSize;
  int64_t initialized = (int64_t)l.SizeOfInitializedData + (int64_t)rawSize - oldRaw;
  if (inPlace) {
    size_t h = l.Sections[rs].HeaderOffset;
    Put32(out, h + 8, sectionVirtual);
    Put32(out, h + 16, (uint32_t)rawSize);
    Put32(out, h + 20, (uint32_t)rawPtr);
    virtualEnd = (uint64_t)rva + sectionVirtual;
    for (size_t i = 0; i + 1 < n; ++i) {
      const TPeSection& s = l.Sections[i];
      virtualEnd = std::max<uint64_t>(virtualEnd, (uint64_t)s.VirtualAddress + (s.VirtualSize ? s.VirtualSize : s.SizeOfRawData));
    }
  } else {
    size_t slot = l.SectionTableOffset + 40 * n;
    if (slot + 40 > l.SizeOfHeaders || slot + 40 > firstRaw || n >= 0xFFFF)
      throw EPeFormatError(WideString(NotExe) +
                           u"no room for another section header before the first section's data");
    // Bound imports may sit right after the section table; they are only a
    // load-time shortcut, so give their place to the new header.
    TPeDataDirectory bound = l.Directory(PE_DIR_BOUND_IMPORT);
    if (bound.Size && bound.VirtualAddress < slot + 40 && (uint64_t)bound.VirtualAddress + bound.Size > slot) {
      Put32(out, l.DataDirectoryOffset + 8 * PE_DIR_BOUND_IMPORT, 0);
      Put32(out, l.DataDirectoryOffset + 8 * PE_DIR_BOUND_IMPORT + 4, 0);
    } else if (FImage.find_first_not_of('\0', slot) < slot + 40) {
      throw EPeFormatError(WideString(NotExe) + u"the space after the section table is in use");
    }
    std::fill(out.begin() + slot, out.begin() + slot + 40, '\0');
    std::copy_n(".rsrc", 5, out.begin() + slot);
    Put32(out, slot + 8, sectionVirtual);
    Put32(out, slot + 12, rva);
    Put32(out, slot + 16, (uint32_t)rawSize);
    Put32(out, slot + 20, (uint32_t)rawPtr);
    Put32(out, slot + 36, 0x40000040u);  // initialized data, readable
    Put16(out, l.FileHeaderOffset + 2, (uint16_t)(n + 1));
    virtualEnd = (uint64_t)rva + sectionVirtual;
  }
  Put32(out, opt + 8, (uint32_t)std::max<int64_t>(0, std::min<int64_t>(initialized, 0xFFFFFFFFll)));
  Put32(out, opt + 56, (uint32_t)AlignUp(virtualEnd, l.SectionAlignment));
  Put32(out, l.DataDirectoryOffset + 8 * PE_DIR_RESOURCE, rva);
  Put32(out, l.DataDirectoryOffset + 8 * PE_DIR_RESOURCE + 4, sectionVirtual);
  if (l.DataDirectories.size() > (size_t)PE_DIR_SECURITY) {
    Put32(out, l.DataDirectoryOffset + 8 * PE_DIR_SECURITY, 0);
    Put32(out, l.DataDirectoryOffset + 8 * PE_DIR_SECURITY + 4, 0);
  }
  // A COFF symbol table lives in the overlay; follow it to its new place.
  uint32_t sym = l.PointerToSymbolTable;
  if (sym && sym >= imageEnd && sym < imageEnd + before) Put32(out, l.FileHeaderOffset + 8, (uint32_t)(overlayAt + (sym - imageEnd)));
  else if (sym && sym >= certEnd) Put32(out, l.FileHeaderOffset + 8, (uint32_t)(overlayAt + before + (sym - certEnd)));
  Put32(out, l.CheckSumOffset, 0);
  dest.SetPosition(0);
  dest.WriteBuffer(out.data(), (int64_t)out.size());

  uint8_t sum[4];
  const uint32_t checksum = ComputePeChecksum(dest);
  for (int i = 0; i < 4; ++i) sum[i] = (uint8_t)(checksum >> (8 * i));
  dest.SetPosition((int64_t)l.CheckSumOffset);
  dest.WriteBuffer(sum, 4);
  dest.Seek(0, TSeekOrigin::soEnd);
}

void TPeResourceWriter::SaveToFile(const WideString& fileName) const {
  const WideString temp = TempNameFor(fileName);
  try {
    {
      TFileStream out(temp, fmCreate);
      WriteTo(out);
      out.Close();
    }
    RenameHostFile(temp, fileName);
  } catch (...) {
    DeleteFile(temp);
    throw;
  }
}
