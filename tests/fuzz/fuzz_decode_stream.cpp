// Decoding arbitrary stored bytes either yields content or fails with
// "Error", leaving the bytes XORed. zlib itself carries no coverage
// instrumentation, so odd first bytes instead encode the rest and damage
// the result in a place the input picks: near-valid streams reach the
// decoder's error paths far more often than random bytes do.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <zlib.h>

#include "MySetupUtils.h"
#include "QvClasses.h"
#include "QvExceptions.h"

namespace {

uLong Adler(const std::string& bytes) {
  uLong a = adler32(0L, Z_NULL, 0);
  return adler32(a, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
}

std::string Xored(std::string bytes) {
  TSetupfn::XorBytes(bytes.empty() ? nullptr : &bytes[0], bytes.size());
  return bytes;
}

void DecodeArbitrary(const std::string& stored) {
  TMemoryStream s(stored);
  try {
    TSetupfn::DecodeStream(s);
    if (s.GetPosition() != 0) __builtin_trap();
    // What decoded must encode and decode back to itself.
    const std::string plain = s.Bytes();
    TSetupfn::EncodeStream(s);
    TSetupfn::DecodeStream(s);
    if (s.Bytes() != plain) __builtin_trap();
  } catch (const EZDecompressionError& e) {
    if (e.Message() != u"Error" || s.Bytes() != Xored(stored)) __builtin_trap();
  }
}

void DamageEncoded(const uint8_t* data, size_t size) {
  if (size < 4) return;
  uint32_t where;
  std::memcpy(&where, data, 4);
  const std::string plain(reinterpret_cast<const char*>(data + 4), size - 4);
  TMemoryStream s(plain);
  TSetupfn::EncodeStream(s);
  std::string stored = s.Bytes();
  if (stored.empty()) return;
  const bool truncated = (where & 0x80000000u) != 0;
  const size_t pos = where % stored.size();
  if (truncated)
    stored.resize(std::max<size_t>(pos, 1));  // cut to nothing is the valid empty stream
  else
    stored[pos] = static_cast<char>(stored[pos] ^ static_cast<char>(1u << ((where >> 24) & 7)));
  TMemoryStream d(stored);
  try {
    TSetupfn::DecodeStream(d);
    // A cut always loses the Adler-32 trailer, at least in part. A flipped
    // bit may fall into the padding after the last block and change
    // nothing. Any other change that decodes must be one the format's own
    // checksum cannot see (Adler-32 misses some changes of short data, a
    // swap of two symbols' codes, say): content of the same checksum.
    if (truncated) __builtin_trap();
    if (d.Bytes() != plain && Adler(d.Bytes()) != Adler(plain)) __builtin_trap();
  } catch (const EZDecompressionError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1)
    DamageEncoded(data + 1, size - 1);
  else
    DecodeArbitrary(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  return 0;
}
