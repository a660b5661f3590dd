#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <string>

#include "TestSupport.h"
#include "MySetupUtils.h"
#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : bytes) {
    if (!r.empty()) r += ' ';
    r += digits[c >> 4];
    r += digits[c & 15];
  }
  return r;
}

// Text-like runs mixed with noise, so deflate has real work on both.
std::string MixedContent(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string r;
  r.reserve(size);
  static const std::string words[] = {"setup ", "package ", "file ", "<TFileData ", "GUID=", "\r\n", "中文"};
  while (r.size() < size) {
    if (rng() % 3 == 0) {
      for (int i = 0; i < 64 && r.size() < size; ++i) r += static_cast<char>(rng());
    } else {
      r += words[rng() % 7];
    }
  }
  r.resize(size);
  return r;
}


// ---- the stored form -------------------------------------------------------

TEST(Codec, EncodesTheKnownVector) {
  EXPECT_EQ(Hex(Encoded("abc")), "78 DB 49 4F 4E 03 06 05 45 08 2D");
  EXPECT_EQ(Decoded(Encoded("abc")), "abc");

  TMemoryStream plain(std::string("abc")), zlib;
  TQvSysfn::CompressStream(&plain, &zlib);
  EXPECT_EQ(Hex(zlib.Bytes()), "78 DA 4B 4C 4A 06 00 02 4D 01 27");
}

TEST(Codec, KeyRepeatsEvery255Bytes) {
  std::string zeros(20000, '\0');
  TSetupfn::XorBytes(&zeros[0], zeros.size());
  EXPECT_EQ(static_cast<uint8_t>(zeros[254]), 254);
  EXPECT_EQ(static_cast<uint8_t>(zeros[255]), 0);
  EXPECT_EQ(static_cast<uint8_t>(zeros[256]), 1);
  for (size_t i = 0; i < zeros.size(); ++i)
    ASSERT_EQ(static_cast<uint8_t>(zeros[i]), i % 255) << "at " << i;

  // Pieces with their offsets give what one pass gives, across any phase.
  std::string pieces(zeros.size(), '\0');
  const size_t cuts[] = {0, 1, 254, 256, 511, 16319, 16321, 19999, 20000};
  for (size_t k = 0; k + 1 < std::size(cuts); ++k)
    TSetupfn::XorBytes(&pieces[cuts[k]], cuts[k + 1] - cuts[k], cuts[k]);
  EXPECT_EQ(pieces, zeros);
}

// ---- round trips -----------------------------------------------------------

TEST(Codec, RoundTripsAnySize) {
  EXPECT_EQ(Encoded(""), "");
  EXPECT_EQ(Decoded(""), "");
  for (size_t size : {size_t(1), size_t(255), size_t(256), size_t(70000), size_t(6) << 20}) {
    const std::string plain = MixedContent(size, static_cast<uint32_t>(size));
    TMemoryStream s(plain);
    s.SetPosition(s.GetSize());
    TSetupfn::EncodeStream(s);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_NE(s.Bytes(), plain);
    TSetupfn::DecodeStream(s);
    EXPECT_EQ(s.GetPosition(), 0);
    EXPECT_TRUE(s.Bytes() == plain) << "size " << size;
  }
}

// The installer's way: straight from the package's bytes into a buffer
// that is reused across files, exactly the recorded size or a failure.
TEST(Codec, DecodeImageGivesExactlyTheRecordedSizeOrFails) {
  std::string out = "left over from a larger file before";
  for (size_t size : {size_t(1), size_t(65535), size_t(65536 * 3 + 7), size_t(3) << 20}) {
    const std::string plain = MixedContent(size, static_cast<uint32_t>(size) + 1);
    const std::string image = Encoded(plain);
    ASSERT_TRUE(TSetupfn::DecodeImage(image.data(), image.size(), size, out)) << "size " << size;
    EXPECT_TRUE(out == plain) << "size " << size;
    // A recorded size that disagrees with the stream, either way.
    EXPECT_FALSE(TSetupfn::DecodeImage(image.data(), image.size(), size - 1, out)) << "size " << size;
    EXPECT_FALSE(TSetupfn::DecodeImage(image.data(), image.size(), size + 1, out)) << "size " << size;
    // Cut short, or a byte changed in the middle of the stream.
    EXPECT_FALSE(TSetupfn::DecodeImage(image.data(), image.size() - 1, size, out)) << "size " << size;
    std::string flipped = image;
    flipped[flipped.size() / 2] ^= 0x55;
    std::string decoded;
    EXPECT_FALSE(TSetupfn::DecodeImage(flipped.data(), flipped.size(), size, decoded) && decoded == plain)
        << "size " << size;
  }
  EXPECT_FALSE(TSetupfn::DecodeImage("not an image", 12, 12, out));
}

TEST(Codec, HighlyCompressibleContentGrowsTheOutputBuffer) {
  // Inflate starts from a guess of four times the input; a highly
  // compressible payload forces it to grow many times.
  const std::string plain(16u << 20, 'z');
  const std::string stored = Encoded(plain);
  EXPECT_LT(stored.size(), plain.size() / 500);
  EXPECT_TRUE(Decoded(stored) == plain);
}

// ---- damaged data ----------------------------------------------------------

void ExpectDecodeError(const std::string& stored) {
  TMemoryStream s(stored);
  try {
    TSetupfn::DecodeStream(s);
    FAIL() << "decoded " << s.Bytes().size() << " bytes";
  } catch (const EZDecompressionError& e) {
    EXPECT_EQ(e.Message(), u"Error");
    // Left XORed, not inflated.
    std::string unxored = stored;
    TSetupfn::XorBytes(&unxored[0], unxored.size());
    EXPECT_TRUE(s.Bytes() == unxored);
  }
}

TEST(Codec, DamagedDataFailsWithError) {
  const std::string stored = Encoded(MixedContent(100000, 7));
  ExpectDecodeError(stored.substr(0, stored.size() / 2));   // truncated
  ExpectDecodeError(stored.substr(0, stored.size() - 1));   // Adler-32 cut short
  std::string flipped = stored;
  flipped[flipped.size() / 3] = static_cast<char>(flipped[flipped.size() / 3] ^ 0x40);
  ExpectDecodeError(flipped);
  ExpectDecodeError(stored.substr(1));                      // wrong key phase
  ExpectDecodeError("not an encoded stream at all");
}

TEST(Codec, BytesAfterTheZlibStreamAreIgnored) {
  const std::string plain = MixedContent(3000, 3);
  std::string stored = Encoded(plain);
  std::string tail = "trailing garbage after the Adler-32";
  TSetupfn::XorBytes(&tail[0], tail.size(), stored.size());
  EXPECT_EQ(Decoded(stored + tail), plain);
}

// ---- the zlib helpers themselves -------------------------------------------

TEST(ZlibStreams, MissingStreamIsAnAssertion) {
  TMemoryStream s;
  for (int which = 0; which < 4; ++which) {
    try {
      if (which == 0) TQvSysfn::CompressStream(nullptr, &s);
      if (which == 1) TQvSysfn::CompressStream(&s, nullptr);
      if (which == 2) TQvSysfn::DecompressStream(nullptr, &s);
      if (which == 3) TQvSysfn::DecompressStream(&s, nullptr);
      FAIL() << which;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Msg(), u"Assertion failure");
      EXPECT_EQ(e.UnitName(), u"Common\\QvSysUtils");
      EXPECT_GT(e.Line(), 0);
    }
  }
}

TEST(ZlibStreams, ReplaceDestAndReadSourceFromItsStart) {
  const std::string plain = MixedContent(50000, 9);
  TMemoryStream src(plain);
  src.SetPosition(1234);
  TMemoryStream dest(std::string(200000, 'x'));
  TQvSysfn::CompressStream(&src, &dest);
  EXPECT_EQ(dest.GetPosition(), dest.GetSize());
  EXPECT_LT(dest.GetSize(), 50000);

  TMemoryStream back(std::string("stale"));
  TQvSysfn::DecompressStream(&dest, &back);
  EXPECT_EQ(back.GetPosition(), back.GetSize());
  EXPECT_TRUE(back.Bytes() == plain);

  // An empty source empties dest.
  TMemoryStream empty;
  TQvSysfn::DecompressStream(&empty, &back);
  EXPECT_EQ(back.GetSize(), 0);
}

TEST(ZlibStreams, WorkOnStreamsOtherThanMemory) {
  const std::string plain = MixedContent(300000, 11);
  TMemoryStream reference(plain), packed;
  TQvSysfn::CompressStream(&reference, &packed);

  const WideString fileName = Utf8ToWide(::testing::TempDir()) + u"zlib_streams.bin";
  {
    TReadOnlyMemoryStream src(plain.data(), static_cast<int64_t>(plain.size()));
    src.SetPosition(5);
    TFileStream file(fileName, fmCreate);
    file.WriteString("old content, longer than nothing");
    TQvSysfn::CompressStream(&src, &file);
    EXPECT_EQ(file.GetPosition(), file.GetSize());
    TMemoryStream unpacked;
    TQvSysfn::DecompressStream(&file, &unpacked);
    EXPECT_TRUE(unpacked.Bytes() == plain);
  }
  TMemoryStream written;
  written.LoadFromFile(fileName);
  DeleteFile(fileName);
  EXPECT_TRUE(written.Bytes() == packed.Bytes());
}

}  // namespace
