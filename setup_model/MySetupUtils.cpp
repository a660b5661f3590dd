// The package codec: a level-9 zlib stream whose bytes are scrambled with a
// key that counts 0..254 and starts over (period 255, not 256).
#include "MySetupUtils.h"

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
