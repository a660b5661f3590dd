// The package codec: a level-9 zlib stream whose bytes are scrambled with a
// key that counts 0..254 and starts over (period 255, not 256).
#include "MySetupUtils.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "QvSysUtils.h"

namespace {

constexpr size_t kPeriod = 255;
// A whole number of periods, so every block starts at the same key phase;
// long enough that the inner loop vectorises well.
constexpr size_t kBlock = kPeriod * 64;

// Key bytes for a block starting at any phase: kKey[phase + j] is the key
// of byte j of a block whose first byte has that phase.
struct TXorKey {
  std::array<uint8_t, kBlock + kPeriod> Bytes;
  TXorKey() {
    for (size_t i = 0; i < Bytes.size(); ++i) Bytes[i] = static_cast<uint8_t>(i % kPeriod);
  }
};

const TXorKey& Key() {
  static const TXorKey key;
  return key;
}

// Eight bytes at a time: the loads are unaligned-safe through memcpy, which
// compilers turn into plain word moves.
inline void XorRun(uint8_t* data, const uint8_t* key, size_t count) {
  size_t j = 0;
  for (; j + 8 <= count; j += 8) {
    uint64_t d, k;
    std::memcpy(&d, data + j, 8);
    std::memcpy(&k, key + j, 8);
    d ^= k;
    std::memcpy(data + j, &d, 8);
  }
  for (; j < count; ++j) data[j] ^= key[j];
}

}  // namespace

void TSetupfn::XorBytes(char* data, size_t size, uint64_t offset) {
  if (size == 0) return;
  const uint8_t* key = Key().Bytes.data() + static_cast<size_t>(offset % kPeriod);
  auto* p = reinterpret_cast<uint8_t*>(data);
  while (size >= kBlock) {
    XorRun(p, key, kBlock);
    p += kBlock;
    size -= kBlock;
  }
  XorRun(p, key, size);
}

bool TSetupfn::DecodeImage(const char* image, size_t size, size_t plainSize, std::string& out) {
  out.resize(plainSize);
  z_stream z{};
  if (inflateInit2(&z, 15) != Z_OK) return false;
  struct TEnd {
    z_stream& Z;
    ~TEnd() { inflateEnd(&Z); }
  } end{z};
  // The image is unscrambled a piece at a time into this buffer; a byte
  // beyond plainSize lands in spill and marks a stream longer than
  // recorded.
  static constexpr size_t kPiece = 64 * 1024;
  std::array<char, kPiece> piece;
  char spill = 0;
  size_t offset = 0, produced = 0;
  for (;;) {
    if (z.avail_in == 0 && offset < size) {
      const size_t n = std::min(kPiece, size - offset);
      std::memcpy(piece.data(), image + offset, n);
      XorBytes(piece.data(), n, offset);
      offset += n;
      z.next_in = reinterpret_cast<Bytef*>(piece.data());
      z.avail_in = static_cast<uInt>(n);
    }
    const bool spilling = produced >= plainSize;
    if (spilling) {
      z.next_out = reinterpret_cast<Bytef*>(&spill);
      z.avail_out = 1;
    } else {
      z.next_out = reinterpret_cast<Bytef*>(&out[produced]);
      z.avail_out = static_cast<uInt>(std::min<size_t>(plainSize - produced, size_t{1} << 30));
    }
    const uInt before = z.avail_out;
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t got = before - z.avail_out;
    if (spilling && got > 0) return false;
    produced += got;
    if (rc == Z_STREAM_END) return produced == plainSize;
    // Z_OK made progress; anything else (no progress with all input given,
    // damaged data) ends here.
    if (rc != Z_OK) return false;
  }
}

void TSetupfn::EncodeStream(TMemoryStream& stream) {
  stream.SetPosition(0);
  TMemoryStream temp;
  TQvSysfn::CompressStream(&stream, &temp);
  stream.Assign(temp.TakeBytes());
  XorBytes(stream.Memory(), stream.Bytes().size());
  stream.SetPosition(0);
}

void TSetupfn::DecodeStream(TMemoryStream& stream) {
  XorBytes(stream.Memory(), stream.Bytes().size());
  stream.SetPosition(0);
  TMemoryStream temp;
  TQvSysfn::DecompressStream(&stream, &temp);
  stream.Assign(temp.TakeBytes());
  stream.SetPosition(0);
}
