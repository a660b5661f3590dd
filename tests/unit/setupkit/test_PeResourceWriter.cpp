#include <gtest/gtest.h>

#include "TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "HostFiles.h"
#include "PeResourceWriter.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

#ifdef _WIN32
#include <windows.h>
// The file routine of the system's own, not the Win32 macro.
#undef DeleteFile

#include <memory>
#endif

namespace {

std::string Fixture(const char* name) {
  TMemoryStream s;
  s.LoadFromFile(Utf8ToWide(std::string(SETUPKIT_TEST_DATA "/") + name));
  return s.Bytes();
}

uint32_t Read16(const std::string& b, size_t at) { return (uint8_t)b[at] | ((uint32_t)(uint8_t)b[at + 1] << 8); }

uint32_t Read32(const std::string& b, size_t at) { return Read16(b, at) | (Read16(b, at + 2) << 16); }

void Write16(std::string& b, size_t at, uint32_t v) {
  b[at] = (char)(v & 0xFF);
  b[at + 1] = (char)((v >> 8) & 0xFF);
}

void Write32(std::string& b, size_t at, uint32_t v) {
  Write16(b, at, v & 0xFFFF);
  Write16(b, at + 2, v >> 16);
}

uint64_t AlignUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// The checksum as the image loader's checker computes it: a running 16-bit
// sum with end-around carry over the image with its checksum field zeroed,
// plus the length.
uint32_t ExpectedChecksum(std::string image) {
  const uint32_t length = (uint32_t)image.size();
  Write32(image, ParsePeLayout(image).CheckSumOffset, 0);
  if (image.size() % 2) image.push_back('\0');
  uint32_t sum = 0;
  for (size_t i = 0; i < image.size(); i += 2) {
    sum += Read16(image, i);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return sum + length;
}

uint32_t StoredChecksum(const std::string& image) { return Read32(image, ParsePeLayout(image).CheckSumOffset); }

TResourceId RcData() { return TResourceId::FromId(RT_RCDATA_ID); }
TResourceId Named(const std::string& name) { return TResourceId::FromName(Utf8ToWide(name)); }

// Content that differs per resource, so a swapped or shifted blob shows.
std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = (char)(x >> 24);
  }
  return s;
}

struct TAdded {
  std::string Name;  // as given to the writer
  std::string Data;
};

// Package-like resources: GUID-shaped names in mixed letter case, sizes
// from empty to a few megabytes.
std::vector<TAdded> ManyResources(int count) {
  std::vector<TAdded> out;
  const size_t sizes[] = {0, 1, 7, 8, 9, 255, 4096, 65537};
  for (int i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "{%08x-de%02x-4e5b-8ab5-%012x}", 0x54682d66u + (unsigned)i * 7919u, i % 256,
                  (unsigned)(i * 104729));
    out.push_back({name, Pattern(sizes[i % 8], (unsigned)i)});
  }
  out.push_back({"{LARGE}", Pattern(3 * 1024 * 1024 + 3, 99)});
  return out;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = (char)(c - 32);
  return s;
}

// Directory order as the loader's binary search needs it at every level:
// names before ids, names by their UTF-16 units, ids ascending.
bool InOrder(const TResourceId& a, const TResourceId& b) {
  if (a.IsName != b.IsName) return a.IsName;
  return a.IsName ? a.Name < b.Name : a.Id < b.Id;
}

void ExpectSortedDirectory(const std::vector<TPeResourceEntry>& resources) {
  for (size_t i = 1; i < resources.size(); ++i) {
    const TPeResourceEntry& p = resources[i - 1];
    const TPeResourceEntry& r = resources[i];
    if (p.Type.Matches(r.Type)) {
      if (p.Name.Matches(r.Name))
        EXPECT_LT(p.Language, r.Language) << "at " << i;
      else
        EXPECT_TRUE(InOrder(p.Name, r.Name)) << "names out of order at " << i;
    } else {
      EXPECT_TRUE(InOrder(p.Type, r.Type)) << "types out of order at " << i;
    }
  }
}

// The smallest image the writer accepts: headers and one code section.
std::string TinyImage(bool plus) {
  std::string b(0x400, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  Write32(b, 0x3C, 0x40);
  b.replace(0x40, 4, std::string("PE\0\0", 4));
  const size_t coff = 0x44, opt = 0x58;
  const uint32_t optSize = plus ? 240 : 224;
  Write16(b, coff, plus ? 0x8664 : 0x14C);
  Write16(b, coff + 2, 1);
  Write16(b, coff + 16, optSize);
  Write16(b, coff + 18, plus ? 0x0022 : 0x0102);
  Write16(b, opt, plus ? 0x20B : 0x10B);
  Write32(b, opt + 4, 0x200);     // SizeOfCode
  Write32(b, opt + 16, 0x1000);   // entry point
  Write32(b, opt + 32, 0x1000);   // SectionAlignment
  Write32(b, opt + 36, 0x200);    // FileAlignment
  Write16(b, opt + 40, 6);        // OS version
  Write16(b, opt + 48, 6);        // subsystem version
  Write32(b, opt + 56, 0x2000);   // SizeOfImage
  Write32(b, opt + 60, 0x200);    // SizeOfHeaders
  Write16(b, opt + 68, 3);        // console
  Write32(b, opt + (plus ? 108 : 92), 16);
  const size_t sec = opt + optSize;
  b.replace(sec, 5, ".text");
  Write32(b, sec + 8, 0x10);
  Write32(b, sec + 12, 0x1000);
  Write32(b, sec + 16, 0x200);
  Write32(b, sec + 20, 0x200);
  Write32(b, sec + 36, 0x60000020u);
  b[0x200] = (char)0xC3;
  return b;
}

std::string WriterError(const std::string& stub) {
  try {
    TPeResourceWriter w(stub);
  } catch (const EPeFormatError& e) {
    return WideToUtf8(e.Message());
  }
  return "";
}

class PeResourceWriterFiles : public ::testing::Test {
protected:
  void TearDown() override {
    for (const WideString& f : FFiles) DeleteFile(f);
  }
  WideString TempFile(const char* stem) {
    FFiles.push_back(Utf8ToWide(::testing::TempDir()) + Utf8ToWide(stem) + u"_" + IntToStr(std::rand()) + u".exe");
    return FFiles.back();
  }
  std::vector<WideString> FFiles;
};

TEST(PeResourceWriter, RoundTripsManyNamedResourcesAndKeepsTheStubs) {
  const std::vector<TAdded> added = ManyResources(300);
  for (const char* stubName : {"stub_res.exe", "stub_plain.exe"}) {
    SCOPED_TRACE(stubName);
    const std::string stub = Fixture(stubName);
    const auto before = ReadPeResources(stub);
    TPeResourceWriter writer(stub);
    for (const TAdded& a : added) writer.SetResource(RcData(), Named(a.Name), 0, a.Data);
    const std::string out = writer.Build();

    const auto after = ReadPeResources(out);
    ASSERT_EQ(after.size(), before.size() + added.size());
    ExpectSortedDirectory(after);
    for (const TAdded& a : added) {
      const TPeResourceEntry* r = FindPeResource(after, RcData(), TResourceId::FromNarrow(a.Name));
      ASSERT_NE(r, nullptr) << a.Name;
      EXPECT_EQ(WideToUtf8(r->Name.Name), Upper(a.Name));
      EXPECT_EQ(r->Language, 0);
      EXPECT_TRUE(r->Data == a.Data) << a.Name << ": " << r->Data.size() << " bytes, expected " << a.Data.size();
    }
    for (const TPeResourceEntry& s : before) {
      const TPeResourceEntry* r = FindPeResource(after, s.Type, s.Name);
      ASSERT_NE(r, nullptr);
      EXPECT_EQ(r->Language, s.Language);
      EXPECT_EQ(r->CodePage, s.CodePage);
      EXPECT_EQ(r->Data, s.Data);
    }
  }
}

TEST(PeResourceWriter, HeadersDescribeTheRebuiltImage) {
  const std::string stub = Fixture("stub_res.exe");
  const TPeLayout old = ParsePeLayout(stub);
  TPeResourceWriter writer(stub);
  writer.SetResource(RcData(), Named("{BIG}"), 0, Pattern(100000, 1));
  const std::string out = writer.Build();
  const TPeLayout l = ParsePeLayout(out);

  // .rsrc is not the stub's last section, so the tree moves to a new one.
  ASSERT_EQ(l.Sections.size(), old.Sections.size() + 1);
  const TPeSection& rsrc = l.Sections.back();
  const TPeSection& prev = old.Sections.back();
  EXPECT_EQ(rsrc.Name, ".rsrc");
  EXPECT_EQ(rsrc.VirtualAddress, AlignUp((uint64_t)prev.VirtualAddress + prev.VirtualSize, old.SectionAlignment));
  // Its data starts on the first page after the previous section's, so that
  // a loader may map it from the file.
  EXPECT_EQ(rsrc.PointerToRawData, AlignUp((uint64_t)prev.PointerToRawData + prev.SizeOfRawData, 4096));
  EXPECT_EQ(rsrc.SizeOfRawData % old.FileAlignment, 0u);
  EXPECT_GE(rsrc.SizeOfRawData, rsrc.VirtualSize);
  EXPECT_GT(rsrc.VirtualSize, 100000u);
  EXPECT_EQ(rsrc.Characteristics, 0x40000040u);
  EXPECT_EQ(out.size(), (size_t)rsrc.PointerToRawData + rsrc.SizeOfRawData);
  EXPECT_EQ(l.Directory(PE_DIR_RESOURCE).VirtualAddress, rsrc.VirtualAddress);
  EXPECT_EQ(l.Directory(PE_DIR_RESOURCE).Size, rsrc.VirtualSize);
  EXPECT_EQ(l.SizeOfImage, AlignUp((uint64_t)rsrc.VirtualAddress + rsrc.VirtualSize, l.SectionAlignment));
  EXPECT_EQ(l.SizeOfInitializedData, old.SizeOfInitializedData + rsrc.SizeOfRawData);
  EXPECT_EQ(StoredChecksum(out), ExpectedChecksum(out));
  EXPECT_NE(StoredChecksum(out), 0u);
  // Everything the code refers to stays where it was.
  for (const TPeSection& s : old.Sections)
    EXPECT_EQ(out.compare(s.PointerToRawData, s.SizeOfRawData, stub, s.PointerToRawData, s.SizeOfRawData), 0)
        << s.Name;

  // Rebuilding a rebuilt image reuses its last section instead of adding
  // one per build.
  TPeResourceWriter again(out);
  again.SetResource(RcData(), Named("{BIG}"), 0, "small now");
  again.SetResource(RcData(), Named("{MORE}"), 0, Pattern(5000, 2));
  const std::string out2 = again.Build();
  const TPeLayout l2 = ParsePeLayout(out2);
  ASSERT_EQ(l2.Sections.size(), l.Sections.size());
  EXPECT_EQ(l2.Sections.back().VirtualAddress, rsrc.VirtualAddress);
  EXPECT_LT(out2.size(), out.size());
  EXPECT_EQ(l2.SizeOfInitializedData, l.SizeOfInitializedData - rsrc.SizeOfRawData + l2.Sections.back().SizeOfRawData);
  EXPECT_EQ(l2.SizeOfImage, AlignUp((uint64_t)rsrc.VirtualAddress + l2.Sections.back().VirtualSize, l.SectionAlignment));
  EXPECT_EQ(StoredChecksum(out2), ExpectedChecksum(out2));
  const auto r2 = ReadPeResources(out2);
  EXPECT_EQ(r2.size(), 6u);
  EXPECT_EQ(FindPeResource(r2, RcData(), Named("{big}"))->Data, "small now");
}

TEST(PeResourceWriter, ReplacesAndRemoves) {
  TPeResourceWriter writer(Fixture("stub_res.exe"));
  writer.SetResource(RcData(), Named("{A}"), 0, "first");
  writer.SetResource(RcData(), Named("{a}"), 0, "second");    // same resource
  writer.SetResource(RcData(), Named("{A}"), 1033, "english");  // another language of it
  writer.SetResource(TResourceId::FromId(RT_MANIFEST_ID), TResourceId::FromId(1), 1033, "<assembly/>");
  EXPECT_EQ(writer.Resources().size(), 6u);
  EXPECT_EQ(writer.RemoveResource(TResourceId::FromId(RT_VERSION_ID), TResourceId::FromId(1)), 1u);
  EXPECT_EQ(writer.RemoveResource(RcData(), Named("{NONE}")), 0u);

  const auto r = ReadPeResources(writer.Build());
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(FindPeResource(r, TResourceId::FromId(RT_VERSION_ID), TResourceId::FromId(1)), nullptr);
  EXPECT_EQ(FindPeResource(r, TResourceId::FromId(RT_MANIFEST_ID), TResourceId::FromId(1))->Data, "<assembly/>");
  std::map<uint16_t, std::string> languages;
  for (const TPeResourceEntry& e : r)
    if (e.Type.Matches(RcData())) languages[e.Language] = e.Data;
  EXPECT_EQ(languages, (std::map<uint16_t, std::string>{{0, "second"}, {1033, "english"}}));
  EXPECT_EQ(writer.RemoveResource(RcData(), Named("{A}")), 2u);
}

// A signature covers the old bytes, so it goes; anything else appended to
// the image stays behind the new end.
TEST(PeResourceWriter, DropsTheSignatureAndKeepsTheOverlay) {
  const std::string stub = Fixture("stub_res.exe");
  const TPeLayout layout = ParsePeLayout(stub);
  const std::string overlay = "OVERLAY-DATA-0123456789";

  std::string plain = stub + overlay;
  TPeResourceWriter unsigned_(plain);
  EXPECT_FALSE(unsigned_.WasSigned());
  const std::string out1 = unsigned_.Build();
  // The overlay (23 bytes) comes last, padded with zeros to 8 bytes as a
  // signer would pad it.
  EXPECT_EQ(out1.size() % 8, 0u);
  EXPECT_EQ(out1.substr(out1.size() - 24), overlay + '\0');
  EXPECT_EQ(StoredChecksum(out1), ExpectedChecksum(out1));

  std::string signedImage = stub + overlay;
  signedImage.resize(AlignUp(signedImage.size(), 8), '\0');
  const size_t certAt = signedImage.size();
  std::string cert(8, '\0');
  const std::string body = "PKCS7-SIGNATURE-BYTES-!!";
  Write32(cert, 0, (uint32_t)(8 + body.size()));
  Write16(cert, 4, 0x0200);
  Write16(cert, 6, 0x0002);
  signedImage += cert + body;
  Write32(signedImage, layout.DataDirectoryOffset + 8 * PE_DIR_SECURITY, (uint32_t)certAt);
  Write32(signedImage, layout.DataDirectoryOffset + 8 * PE_DIR_SECURITY + 4, (uint32_t)(8 + body.size()));

  TPeResourceWriter writer(signedImage);
  EXPECT_TRUE(writer.WasSigned());
  writer.SetResource(RcData(), Named("{X}"), 0, "x");
  const std::string out = writer.Build();
  const TPeLayout l = ParsePeLayout(out);
  EXPECT_EQ(l.Directory(PE_DIR_SECURITY).VirtualAddress, 0u);
  EXPECT_EQ(l.Directory(PE_DIR_SECURITY).Size, 0u);
  EXPECT_EQ(out.find(body), std::string::npos);
  const TPeSection& last = l.Sections.back();
  EXPECT_EQ(out.substr((size_t)last.PointerToRawData + last.SizeOfRawData, overlay.size()), overlay);
  EXPECT_EQ(StoredChecksum(out), ExpectedChecksum(out));

  // A certificate table that claims bytes the file does not have.
  std::string cut = signedImage.substr(0, signedImage.size() - 4);
  EXPECT_NE(WriterError(cut).find("certificate table runs past the end of the file"), std::string::npos);
}

// The package builder streams its file data into the output: the image
// must read back as if the data had been set like any other resource,
// with every header patched after the fact and the overlay still behind it.
TEST(PeResourceWriter, StreamsOneResourceIntoAFileAndPatchesTheHeaders) {
  std::string stub = Fixture("stub_res.exe") + "OVERLAY-DATA-0123456789";  // odd length
  const std::string big = Pattern(3 * 1024 * 1024 + 7, 3);  // several checksum pieces
  TPeResourceWriter writer(stub);
  writer.SetResource(RcData(), Named("{SCRIPT}"), 0, Pattern(5000, 4));
  writer.SetResource(RcData(), Named("{DATA}"), 0, "replaced by the streamed data");
  TPeResourceWriter reference = writer;
  reference.SetResource(RcData(), Named("{DATA}"), 0, big);

  TPeStreamedResource streamed;
  streamed.Type = RcData();
  streamed.Name = Named("{data}");
  streamed.Write = [&](TStream& dest) {
    for (size_t at = 0; at < big.size(); at += 65536)
      dest.WriteBuffer(big.data() + at, (int64_t)std::min<size_t>(65536, big.size() - at));
  };
  const WideString file = Utf8ToWide(::testing::TempDir()) + u"streamed_" + IntToStr(std::rand()) + u".exe";
  {
    TFileStream out(file, fmCreate);
    writer.WriteTo(out, &streamed);
    out.Close();
  }
  TMemoryStream saved;
  saved.LoadFromFile(file);
  DeleteFile(file);
  const std::string out = saved.Bytes();

  const std::string expected = reference.Build();
  const auto got = ReadPeResources(out);
  const auto want = ReadPeResources(expected);
  ASSERT_EQ(got.size(), want.size());
  for (const TPeResourceEntry& w : want) {
    const TPeResourceEntry* g = FindPeResource(got, w.Type, w.Name);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->Data == w.Data) << WideToUtf8(w.Name.Name) << ": " << g->Data.size() << " bytes";
  }
  const TPeLayout l = ParsePeLayout(out);
  const TPeSection& rsrc = l.Sections.back();
  EXPECT_EQ(l.Directory(PE_DIR_RESOURCE).Size, rsrc.VirtualSize);
  EXPECT_EQ(rsrc.SizeOfRawData, AlignUp(rsrc.VirtualSize, l.FileAlignment));
  EXPECT_EQ(l.SizeOfImage, AlignUp((uint64_t)rsrc.VirtualAddress + rsrc.VirtualSize, l.SectionAlignment));
  EXPECT_EQ(l.SizeOfInitializedData, ParsePeLayout(expected).SizeOfInitializedData);
  // The streamed data ends the section (padded to 8 bytes), before the overlay.
  EXPECT_EQ(out.compare(rsrc.PointerToRawData + rsrc.VirtualSize - AlignUp(big.size(), 8), big.size(), big), 0);
  EXPECT_EQ(out.substr((size_t)rsrc.PointerToRawData + rsrc.SizeOfRawData), std::string("OVERLAY-DATA-0123456789\0", 24));
  EXPECT_EQ(out.size(), expected.size());
  EXPECT_EQ(StoredChecksum(out), ExpectedChecksum(out));

  // A failure while streaming reaches the caller.
  streamed.Write = [](TStream&) { throw EWriteError(u"File data blob exceeds 2 GB"); };
  TMemoryStream failed;
  EXPECT_THROW(writer.WriteTo(failed, &streamed), EWriteError);
}

TEST(PeResourceWriter, WritesPe32AndPe32Plus) {
  for (bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    const std::string stub = TinyImage(plus);
    TPeResourceWriter writer(stub);
    EXPECT_TRUE(writer.Resources().empty());
    writer.SetResource(RcData(), Named("{ONE}"), 0, Pattern(3000, 3));
    writer.SetResource(RcData(), Named("{EMPTY}"), 0, "");
    writer.SetResource(TResourceId::FromId(RT_MANIFEST_ID), TResourceId::FromId(1), 1033, "<assembly/>");
    const std::string out = writer.Build();
    const TPeLayout l = ParsePeLayout(out);
    EXPECT_EQ(l.Pe32Plus, plus);
    ASSERT_EQ(l.Sections.size(), 2u);
    EXPECT_EQ(l.Sections[1].VirtualAddress, 0x2000u);
    EXPECT_EQ(l.SizeOfImage, 0x3000u);
    EXPECT_EQ(l.Directory(PE_DIR_RESOURCE).VirtualAddress, 0x2000u);
    EXPECT_EQ(StoredChecksum(out), ExpectedChecksum(out));
    const auto r = ReadPeResources(out);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(FindPeResource(r, RcData(), Named("{one}"))->Data, Pattern(3000, 3));
    EXPECT_EQ(FindPeResource(r, RcData(), Named("{Empty}"))->Data, "");
    // The headers outside the fields the writer owns are untouched (the
    // section count sits at 0x46).
    EXPECT_EQ(out.compare(0, 0x46, stub, 0, 0x46), 0);
    EXPECT_EQ(out.compare(0x48, 0x10, stub, 0x48, 0x10), 0);
    EXPECT_EQ(out.compare(0x200, 0x200, stub, 0x200, 0x200), 0);
  }
}

TEST(PeResourceWriter, RefusesStubsItCannotRebuild) {
  EXPECT_EQ(WriterError("MZ but nothing else"), "stub is not a PE executable: missing MZ signature");

  std::string dll = TinyImage(false);
  Write16(dll, 0x44 + 18, 0x2100);  // a DLL without the executable flag
  EXPECT_NE(WriterError(dll).find("not marked executable"), std::string::npos);

  std::string align = TinyImage(true);
  Write32(align, 0x58 + 36, 0x300);
  EXPECT_NE(WriterError(align).find("FileAlignment 0x300 is not a power of two"), std::string::npos);

  std::string past = TinyImage(false);
  Write32(past, 0x58 + 224 + 16, 0x400);  // raw size beyond the file
  EXPECT_NE(WriterError(past).find("section .text runs past the end of the file"), std::string::npos);

  // A section table that fills the headers leaves no slot for .rsrc.
  std::string full = TinyImage(false);
  Write32(full, 0x58 + 60, 0x58 + 224 + 40);
  Write32(full, 0x58 + 224 + 20, 0x58 + 224 + 40);
  TPeResourceWriter writer(full);
  writer.SetResource(RcData(), Named("{X}"), 0, "x");
  try {
    writer.Build();
    FAIL() << "built an image without room for its section header";
  } catch (const EPeFormatError& e) {
    EXPECT_NE(WideToUtf8(e.Message()).find("no room for another section header"), std::string::npos);
  }

  std::string tree = Fixture("stub_res.exe");
  const TPeLayout l = ParsePeLayout(tree);
  size_t dir = 0;
  ASSERT_TRUE(l.RvaToOffset(l.Directory(PE_DIR_RESOURCE).VirtualAddress, 16, tree.size(), dir));
  Write32(tree, dir + 16 + 4, 0x80000000u);
  EXPECT_NE(WriterError(tree).find("stub has a malformed resource directory: "), std::string::npos);
}

// wrestool is an independent reader of PE resources; it must see the tree
// that was written, in the file that SaveToFile replaced.
TEST_F(PeResourceWriterFiles, WrestoolListsTheSameResources) {
#ifdef _WIN32
  GTEST_SKIP() << "wrestool runs on the build host";
#else
  if (std::system("wrestool --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "wrestool (icoutils) is not installed";
  TPeResourceWriter writer(Fixture("stub_res.exe"));
  const std::vector<TAdded> added = ManyResources(40);
  for (const TAdded& a : added) writer.SetResource(RcData(), Named(a.Name), 0, a.Data);
  const WideString file = TempFile("wrestool");
  {
    TMemoryStream old(std::string("previous"));
    old.SaveToFile(file);
  }
  writer.SaveToFile(file);
  TMemoryStream saved;
  saved.LoadFromFile(file);
  EXPECT_TRUE(saved.Bytes() == writer.Build());
  EXPECT_FALSE(FileExists(TempNameFor(file)));

  // type, name, language -> size, from our side...
  using TKey = std::tuple<std::string, std::string, unsigned>;
  std::map<TKey, size_t> expected{{{"3", "1", 1033}, 64}, {{"14", "1", 1033}, 20}, {{"16", "1", 1033}, 400},
                                  {{"24", "1", 1033}, 449}};
  for (const TAdded& a : added) expected[{"10", Upper(a.Name), 0}] = a.Data.size();

  // ...and from wrestool's, whose lines read
  //   --type=10 --name='{NAME}' --language=0 [offset=0x... size=123]
  std::map<TKey, size_t> listed;
  FILE* pipe = popen(("wrestool -l '" + WideToUtf8(file) + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char type[64], name[128];
    unsigned language = 0;
    const char* size = std::strstr(line, "size=");
    ASSERT_EQ(std::sscanf(line, "--type=%63s --name=%127s --language=%u", type, name, &language), 3) << line;
    ASSERT_NE(size, nullptr) << line;
    std::string n = name;
    if (n.size() >= 2 && n.front() == '\'' && n.back() == '\'') n = n.substr(1, n.size() - 2);
    listed[{type, n, language}] = std::strtoul(size + 5, nullptr, 10);
  }
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(listed, expected);
#endif
}

#ifdef _WIN32
struct THandleCloser {
  void operator()(HANDLE h) const {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using THandle = std::unique_ptr<void, THandleCloser>;

uint32_t Fnv1a(const std::string& data) {
  uint32_t h = 2166136261u;
  for (char c : data) h = (h ^ (uint8_t)c) * 16777619u;
  return h;
}

// Runs the program with the arguments and returns what it printed.
std::string RunAndCapture(const WideString& program, const std::string& arguments, DWORD& exitCode) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "CreatePipe failed";
  THandle reader(readEnd), writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + std::wstring(program.begin(), program.end()) + L"\" " +
                             std::wstring(arguments.begin(), arguments.end());
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return "CreateProcessW failed: " + std::to_string(GetLastError());
  THandle process(pi.hProcess), thread(pi.hThread);
  writer.reset();  // the child holds the only write end now, so reads end with it
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
  WaitForSingleObject(pi.hProcess, 30000);
  GetExitCodeProcess(pi.hProcess, &exitCode);
  return output;
}
#endif

// The stub looks each name on its command line up with FindResourceA on its
// own module and prints the size and hash of what LockResource gives it, so
// this is the Windows loader reading what the writer wrote.
TEST_F(PeResourceWriterFiles, TheLoaderFindsWhatWasWritten) {
#ifndef _WIN32
  GTEST_SKIP() << "needs the Windows loader (runs in the Windows build under Wine)";
#else
  TPeResourceWriter writer(Fixture(LoaderStubName()));
  const std::vector<TAdded> added = ManyResources(120);
  for (const TAdded& a : added) writer.SetResource(RcData(), Named(a.Name), 0, a.Data);
  const WideString file = TempFile("loader");
  writer.SaveToFile(file);

  std::string arguments, expected;
  for (const TAdded& a : added) {
    // Looked up in the other letter case than it was given.
    std::string lookup = a.Name;
    for (char& c : lookup) c = (c >= 'a' && c <= 'z') ? (char)(c - 32) : (c >= 'A' && c <= 'Z') ? (char)(c + 32) : c;
    char line[128];
    std::snprintf(line, sizeof line, "%s %08x %08x\r\n", lookup.c_str(), (unsigned)a.Data.size(), Fnv1a(a.Data));
    arguments += lookup + " ";
    expected += line;
  }
  arguments += "{NOT-THERE}";
  expected += "{NOT-THERE} missing\r\n";
  DWORD exitCode = 99;
  const std::string output = RunAndCapture(file, arguments, exitCode);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(output, expected);
#endif
}

}  // namespace
