#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "PackageResources.h"
#include "QvAuthenticode.h"
#include "QvClasses.h"
#include "QvPeResources.h"
#include "QvSha256.h"
#include "QvSysUtils.h"
#include "SetupPin.h"
#include "TestSupport.h"

namespace {

std::string Hex(const std::string& bytes) { return DigestToHex(TSha256::Of(bytes)); }

std::string Fixture(const char* name) {
  TMemoryStream s;
  s.LoadFromFile(Utf8ToWide(std::string(SETUPKIT_TEST_DATA "/") + name));
  return s.Bytes();
}

void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (char)(v >> (8 * i));
}

std::string Noise(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  for (char& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = (char)(seed >> 16);
  }
  return s;
}

// The digest, or the refusal's text prefixed with "error: ".
std::string Digest(const std::string& image) {
  TMemoryStream m(image);
  TSha256Digest d;
  WideString error;
  if (!AuthenticodeSha256(m, d, error)) return "error: " + WideToUtf8(error);
  EXPECT_TRUE(error.empty());
  return DigestToHex(d);
}

// The image as a signer leaves it: padded to 8 bytes, a certificate table
// appended and the directory entry pointing at it.
std::string Signed(std::string image, const std::string& body) {
  const TPeLayout l = ParsePeLayout(image);
  image.resize((image.size() + 7) / 8 * 8, '\0');
  const size_t at = image.size();
  std::string cert(8, '\0');
  Put32(cert, 0, (uint32_t)(8 + body.size()));
  image += cert + body;
  Put32(image, l.DataDirectoryOffset + 8 * PE_DIR_SECURITY, (uint32_t)at);
  Put32(image, l.DataDirectoryOffset + 8 * PE_DIR_SECURITY + 4, (uint32_t)(8 + body.size()));
  Put32(image, l.CheckSumOffset, 0x12345678);
  return image;
}

}  // namespace

// FIPS 180-4 example messages, and the message fed in pieces that straddle
// the 64-byte blocks and the padding boundary.
TEST(Sha256, MatchesTheStandardVectorsWholeAndInPieces) {
  EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
                "mnopqrstnopqrstu"),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  EXPECT_EQ(Hex(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  const std::string message = Noise(1000, 7);
  for (size_t len : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    const std::string m = message.substr(0, len);
    for (size_t piece : {1u, 3u, 64u, 100u}) {
      TSha256 h;
      for (size_t at = 0; at < m.size(); at += piece) h.Update(m.substr(at, piece));
      EXPECT_EQ(DigestToHex(h.Final()), Hex(m)) << len << " bytes in pieces of " << piece;
    }
  }
  // Final resets: the same object digests the next message afresh.
  TSha256 h;
  h.Update("junk");
  h.Final();
  h.Update("abc");
  EXPECT_EQ(DigestToHex(h.Final()), Hex("abc"));
}

// The processor's SHA instructions and the portable code give the same
// digests, over many blocks at once and block by block.
TEST(Sha256, HardwareAndPortableCodeAgree) {
  if (!TSha256::HardwareAvailable()) GTEST_SKIP() << "no SHA extensions on this processor";
  const std::string message = Noise(64 * 40 + 9, 5);
  for (size_t len : {0u, 64u, 128u, 640u, 64u * 40 + 9}) {
    TSha256 portable;
    portable.UsePortableCode();
    for (size_t at = 0; at < len; at += 64) portable.Update(message.substr(at, std::min<size_t>(64, len - at)));
    EXPECT_EQ(DigestToHex(portable.Final()), Hex(message.substr(0, len))) << len << " bytes";
  }
}

#ifndef _WIN32
// An independent implementation on a file of a few megabytes.
TEST(Sha256, AgreesWithSha256sum) {
  const std::string path = ::testing::TempDir() + "sha256_" + std::to_string(std::rand()) + ".bin";
  const std::string data = Noise(3 * 1024 * 1024 + 17, 11);
  TMemoryStream(data).SaveToFile(Utf8ToWide(path));
  std::FILE* p = popen(("sha256sum '" + path + "' 2>/dev/null").c_str(), "r");
  char line[128] = {};
  const bool read = p && std::fgets(line, sizeof line, p) != nullptr;
  if (p) pclose(p);
  std::remove(path.c_str());
  if (!read) GTEST_SKIP() << "sha256sum is not available";
  EXPECT_EQ(std::string(line, 64), Hex(data));
}
#endif

// What signing changes stays out of the digest; every other byte is in it.
TEST(AuthenticodeSha256, LeavesOutWhatSigningChanges) {
  const std::string image = Fixture("stub_res.exe");
  const TPeLayout l = ParsePeLayout(image);
  const std::string plain = Digest(image);
  ASSERT_EQ(plain.size(), 64u) << plain;

  // Hashed by hand: the file without the two fields, already 8-aligned.
  ASSERT_EQ(image.size() % 8, 0u);
  const size_t entry = l.DataDirectoryOffset + 8 * PE_DIR_SECURITY;
  EXPECT_EQ(plain, Hex(image.substr(0, l.CheckSumOffset) + image.substr(l.CheckSumOffset + 4, entry - l.CheckSumOffset - 4) +
                       image.substr(entry + 8)));

  EXPECT_EQ(Digest(Signed(image, "PKCS7-BYTES")), plain);
  EXPECT_EQ(Digest(Signed(image + "odd", "PKCS7")), Digest(image + "odd"));
  // Unsigned and not a multiple of 8: hashed as if padded with zeros.
  EXPECT_EQ(Digest(image + "odd"), Digest(image + std::string("odd\0\0\0\0\0", 8)));
  EXPECT_NE(Digest(image + "odd"), plain);

  for (size_t at : {(size_t)0x3C, l.CheckSumOffset - 1, l.CheckSumOffset + 4, entry - 1, entry + 8, image.size() - 1}) {
    std::string changed = image;
    changed[at] ^= 1;
    EXPECT_NE(Digest(changed), plain) << "byte " << at;
  }
}

// A certificate table that could hide bytes the loader reads, or bytes
// after it, is refused, as is anything that is not a PE image.
TEST(AuthenticodeSha256, RefusesWhatItCannotVouchFor) {
  const std::string image = Fixture("stub_res.exe");
  const TPeLayout l = ParsePeLayout(image);
  const size_t entry = l.DataDirectoryOffset + 8 * PE_DIR_SECURITY;

  EXPECT_EQ(Digest("<html>404</html>"), "error: not a PE image: missing MZ signature");
  EXPECT_EQ(Digest(""), "error: not a PE image: missing MZ signature");
  EXPECT_EQ(Digest(image.substr(0, 200)).rfind("error: not a PE image:", 0), 0u);

  EXPECT_NE(Digest(Signed(image, "X") + "trailing").find("does not end the file"), std::string::npos);

  // The table placed over the last section's data.
  std::string overSection = image;
  const TPeSection& last = l.Sections.back();
  Put32(overSection, entry, last.PointerToRawData);
  Put32(overSection, entry + 4, (uint32_t)(image.size() - last.PointerToRawData));
  EXPECT_NE(Digest(overSection).find("section " + last.Name + " overlaps the certificate table"), std::string::npos);

  // Short of the table in the header, but not once the loader rounds the
  // section up to the file alignment.
  ASSERT_EQ(image.size(), (size_t)last.PointerToRawData + last.SizeOfRawData);
  std::string unaligned = Signed(image, "X");
  Put32(unaligned, last.HeaderOffset + 16, last.SizeOfRawData - 9);
  Put32(unaligned, last.HeaderOffset + 20, last.PointerToRawData + 8);
  EXPECT_NE(Digest(unaligned).find("section " + last.Name + " overlaps the certificate table"), std::string::npos);

  std::string overHeaders = image;
  Put32(overHeaders, entry, 0x40);
  Put32(overHeaders, entry + 4, (uint32_t)(image.size() - 0x40));
  EXPECT_NE(Digest(overHeaders).find("the certificate table overlaps the headers"), std::string::npos);

  std::string cut = image.substr(0, last.PointerToRawData + last.SizeOfRawData - 1);
  EXPECT_NE(Digest(cut).find("section " + last.Name + " runs past the end of the file"), std::string::npos);
}

// The pin as the installer reads it from a package's resources.
TEST(SetupPin, ReadsBackWhatWasWrittenAndRefusesADamagedOne) {
  const TSha256Digest digest = TSha256::Of("full setup");
  TMemoryResourceReader reader;
  TSha256Digest pin{};
  EXPECT_FALSE(ReadSetupPin(reader, pin));

  reader.Add(FullSetupPinResID, EncodedSetupPin(digest));
  ASSERT_TRUE(ReadSetupPin(reader, pin));
  EXPECT_EQ(pin, digest);
  // It is a package resource like the others: the codec's form.
  EXPECT_EQ(Decoded(EncodedSetupPin(digest)), std::string(digest.begin(), digest.end()));

  reader.Add(FullSetupPinResID, Encoded(std::string(31, 'x')));
  EXPECT_NE(WideToUtf8(MessageOf<Exception>([&] { ReadSetupPin(reader, pin); })).find("holds 31 bytes"),
            std::string::npos);
  reader.Add(FullSetupPinResID, "not encoded");
  EXPECT_NE(WideToUtf8(MessageOf<Exception>([&] { ReadSetupPin(reader, pin); })).find(FullSetupPinResID),
            std::string::npos);
}
