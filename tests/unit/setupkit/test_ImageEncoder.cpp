#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "DeflateBlocks.h"
#include "ImageEncoder.h"
#include "MySetupUtils.h"
#include "PackageBuilder.h"

namespace {

std::string Noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string Text(size_t n, uint32_t seed) {
  static const char* words[] = {"install ", "folder ", "{app}\\bin ", "value\r\n", "0x1F ", "registry "};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += words[rng() % 6];
  s.resize(n);
  return s;
}

std::string Inflate(const std::string& zlibStream, size_t plainSize) {
  std::string out(plainSize + 1, '\0');
  uLongf size = static_cast<uLongf>(out.size());
  const int rc = uncompress(reinterpret_cast<Bytef*>(&out[0]), &size,
                            reinterpret_cast<const Bytef*>(zlibStream.data()), static_cast<uLong>(zlibStream.size()));
  if (rc != Z_OK) return "inflate failed: " + std::to_string(rc);
  out.resize(size);
  return out;
}

// A raw deflate stream of data from zlib; flushEvery > 0 ends a block (and
// byte-aligns with an empty stored one) after every that many bytes.
std::string RawDeflate(const std::string& data, int level, int strategy, size_t flushEvery = 0) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + data.size() / 8 + 64, '\0');
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  size_t pos = 0;
  do {
    const size_t piece = flushEvery ? std::min(flushEvery, data.size() - pos) : data.size() - pos;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + pos));
    z.avail_in = static_cast<uInt>(piece);
    pos += piece;
    deflate(&z, pos == data.size() ? Z_FINISH : Z_FULL_FLUSH);
  } while (pos < data.size());
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string InflateRaw(const std::string& raw, size_t plainSize) {
  z_stream z{};
  inflateInit2(&z, -15);
  std::string out(plainSize + 1, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  const bool wholeInput = z.avail_in == 0;
  inflateEnd(&z);
  return rc == Z_STREAM_END && wholeInput ? out : "inflate failed";
}

}  // namespace

// The stream is reopened where the walk says its last block is, and a new
// final block is put at the bit where it says the stream ends: inflate must
// give the same data and stop exactly at the new block's end.
TEST(DeflateBlocks, FindsTheFinalBlockAndTheEndBitOfEveryBlockKind) {
  const std::string mixed = Text(70000, 1) + Noise(9000, 2) + Text(50000, 3);
  struct {
    const char* Name;
    std::string Data;
    int Level, Strategy;
    size_t FlushEvery;
  } cases[] = {
      {"stored", Noise(150000, 4), 0, Z_DEFAULT_STRATEGY, 0},
      {"fixed", Text(3000, 5), 9, Z_FIXED, 0},
      {"dynamic, one block", Text(20000, 6), 9, Z_DEFAULT_STRATEGY, 0},
      {"dynamic, many blocks", mixed, 6, Z_DEFAULT_STRATEGY, 0},
      {"flushed pieces", mixed, 9, Z_DEFAULT_STRATEGY, 7777},
      {"literals only", mixed, 9, Z_HUFFMAN_ONLY, 0},
      {"long runs", std::string(100000, 'a') + Text(500, 7), 9, Z_RLE, 0},
      {"one byte", "x", 9, Z_DEFAULT_STRATEGY, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string raw = RawDeflate(c.Data, c.Level, c.Strategy, c.FlushEvery);
    TDeflateEnd end;
    ASSERT_TRUE(LocateDeflateEnd(raw.data(), raw.size(), end));
    EXPECT_EQ((end.EndBit + 7) / 8, raw.size());
    ASSERT_LT(end.FinalBlockBit, end.EndBit);
    raw[end.FinalBlockBit / 8] = static_cast<char>(raw[end.FinalBlockBit / 8] & ~(1 << end.FinalBlockBit % 8));
    // An empty final stored block: BFINAL 1, BTYPE 00, pad, LEN 0, NLEN.
    const int used = static_cast<int>(end.EndBit % 8);
    if (used == 0) raw.push_back(1);
    else raw.back() = static_cast<char>((raw.back() & ((1 << used) - 1)) | 1 << used);
    if (used > 5) raw.push_back(0);
    raw.append("\x00\x00\xFF\xFF", 4);
    EXPECT_TRUE(InflateRaw(raw, c.Data.size()) == c.Data);
  }
}

TEST(DeflateBlocks, RefusesTruncatedAndMalformedStreams) {
  const std::string raw = RawDeflate(Text(30000, 8) + Noise(3000, 9), 9, Z_DEFAULT_STRATEGY, 5000);
  TDeflateEnd end;
  for (size_t n = 0; n < raw.size(); n += 1 + n / 7) EXPECT_FALSE(LocateDeflateEnd(raw.data(), n, end)) << n;
  const char reservedType[] = {'\x07'};                      // BFINAL 1, BTYPE 11
  const char badStoredLength[] = {'\x01', 5, 0, 0, 0, 'a'};  // NLEN is not ~LEN
  EXPECT_FALSE(LocateDeflateEnd(reservedType, 1, end));
  EXPECT_FALSE(LocateDeflateEnd(badStoredLength, sizeof badStoredLength, end));
}

TEST(ImageEncoder, NoiseProbe) {
  EXPECT_TRUE(LooksIncompressible(Noise(4096, 10).data(), 4096));
  EXPECT_FALSE(LooksIncompressible(Text(4096, 11).data(), 4096));
  // Noise in only half the bytes (16-bit samples with a quiet high byte).
  std::string halfNoise = Noise(4096, 12);
  for (size_t i = 1; i < halfNoise.size(); i += 2) halfNoise[i] = static_cast<char>(halfNoise[i] & 3);
  EXPECT_FALSE(LooksIncompressible(halfNoise.data(), halfNoise.size()));
  // Too short for the count to mean anything.
  EXPECT_FALSE(LooksIncompressible(Noise(100, 13).data(), 100));
}

// Whatever mix of stored and compressed stretches a file becomes, the
// package codec gives it back byte for byte.
TEST(ImageEncoder, EveryMixDecodesToTheSource) {
  std::vector<std::string> sources = {
      "x",
      Text(100, 20),
      Noise(4096, 21),
      Noise(200000, 22),  // several stored blocks
      Text(300000, 23),
      Noise(5000, 24) + Text(10000, 25),
      Text(4096, 26) + Noise(70000, 27) + Text(333, 28),
  };
  // Many alternations: the compressed pieces end at every bit position.
  std::string alternating;
  for (uint32_t i = 0; i < 48; ++i) alternating += Text(4096 * (1 + i % 3), 100 + i) + Noise(4096 * (1 + i % 2), 200 + i);
  sources.push_back(alternating);
  sources.push_back(alternating.substr(1000, alternating.size() - 3000));  // unaligned to the probe's blocks

  for (int level : {1, DefaultBuildLevel(), MaxBuildLevel()}) {
    TImageEncoder encoder(level);
    for (const std::string& source : sources) {
      SCOPED_TRACE("level " + std::to_string(level) + ", " + std::to_string(source.size()) + " bytes");
      std::string encoded = encoder.Encode(source);
      TSetupfn::XorBytes(&encoded[0], encoded.size());
      EXPECT_TRUE(Inflate(encoded, source.size()) == source);
    }
    EXPECT_EQ(encoder.Encode(std::string()), std::string());
  }
  // Noise is stored: eight bits a byte plus five bytes a block.
  TImageEncoder encoder(DefaultBuildLevel());
  EXPECT_LE(encoder.Encode(Noise(200000, 22)).size(), 200000u + 4 * 5 + 6);
}
