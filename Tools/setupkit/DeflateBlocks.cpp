#include "DeflateBlocks.h"

#include <cstring>

namespace {

constexpr int kMaxBits = 15;
constexpr int kLitLenCodes = 288;
constexpr int kDistCodes = 30;

// Least significant bit first, as deflate packs them. Up to 57 bits are
// kept in hand; taking more bits than the data holds fails.
class TBitReader {
public:
  TBitReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}

  void Refill() {
    while (FCount <= 56 && FNext < FSize) {
      FBits |= static_cast<uint64_t>(FData[FNext++]) << FCount;
      FCount += 8;
    }
  }
  // The next n (<= 32) bits, fewer being in hand only at the data's end.
  uint32_t Peek(int n) {
    Refill();
    return static_cast<uint32_t>(FBits & ((uint64_t{1} << n) - 1));
  }
  bool Drop(int n) {
    if (n > FCount) return false;
    FBits >>= n;
    FCount -= n;
    return true;
  }
  bool Take(int n, uint32_t& value) {
    value = Peek(n);
    return Drop(n);
  }
  // To the next byte boundary, then count bytes on.
  bool SkipBytes(uint64_t count) {
    Drop(FCount % 8);
    const uint64_t inHand = static_cast<uint64_t>(FCount / 8);
    if (count <= inHand) return Drop(static_cast<int>(count * 8));
    count -= inHand;
    FBits = 0;
    FCount = 0;
    if (count > FSize - FNext) return false;
    FNext += static_cast<size_t>(count);
    return true;
  }
  uint64_t Position() const { return static_cast<uint64_t>(FNext) * 8 - static_cast<uint64_t>(FCount); }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FNext = 0;
  uint64_t FBits = 0;
  int FCount = 0;
};

// A canonical Huffman code: the short codes are found by one table lookup,
// the rare longer ones length by length.
class THuffman {
public:
  // False for an over-subscribed set of lengths. An incomplete one is
  // accepted (a block with one distance code has one); its missing codes
  // fail when met.
  bool Build(const uint8_t* lengths, int n) {
    std::memset(FCount, 0, sizeof FCount);
    for (int i = 0; i < n; ++i) ++FCount[lengths[i]];
    FCount[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = (left << 1) - FCount[len];
      if (left < 0) return false;
    }
    uint16_t offset[kMaxBits + 2];
    offset[1] = 0;
    for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = static_cast<uint16_t>(offset[len] + FCount[len]);
    for (int sym = 0; sym < n; ++sym)
      if (lengths[sym] != 0) FSymbol[offset[lengths[sym]]++] = static_cast<uint16_t>(sym);

    std::memset(FFast, 0, sizeof FFast);
    uint32_t code = 0;
    int index = 0;
    for (int len = 1; len <= kFastBits; ++len) {
      for (int k = 0; k < FCount[len]; ++k, ++code, ++index) {
        uint32_t reversed = 0;
        for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
        const uint16_t entry = static_cast<uint16_t>(len << 9 | FSymbol[index]);
        for (uint32_t fill = reversed; fill < (1u << kFastBits); fill += 1u << len) FFast[fill] = entry;
      }
      code <<= 1;
    }
    return true;
  }

  // The next symbol, or -1 when the bits are no code of this table.
  int Decode(TBitReader& in) const {
    const uint32_t bits = in.Peek(kMaxBits);
    const uint16_t entry = FFast[bits & ((1u << kFastBits) - 1)];
    if (entry != 0) return in.Drop(entry >> 9) ? entry & 0x1FF : -1;
    // Codes are compared most significant bit first, which deflate stores
    // first in the stream.
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code |= static_cast<int>((bits >> (len - 1)) & 1u);
      const int count = FCount[len];
      if (code - first < count) return in.Drop(len) ? FSymbol[index + code - first] : -1;
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }

private:
  static constexpr int kFastBits = 10;
  uint16_t FFast[1 << kFastBits];  // length << 9 | symbol; 0: a longer code
  uint16_t FCount[kMaxBits + 1];
  uint16_t FSymbol[kLitLenCodes];
};

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Reads the code lengths of a dynamic block's header.
bool ReadDynamicTables(TBitReader& in, THuffman& litLen, THuffman& dist) {
  static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  uint32_t hlit, hdist, hclen;
  if (!in.Take(5, hlit) || !in.Take(5, hdist) || !in.Take(4, hclen)) return false;
  const int nlen = static_cast<int>(hlit) + 257, ndist = static_cast<int>(hdist) + 1;
  if (nlen > 286 || ndist > kDistCodes) return false;
  uint8_t lengths[kLitLenCodes + kDistCodes] = {};
  for (uint32_t i = 0; i < hclen + 4; ++i) {
    uint32_t v;
    if (!in.Take(3, v)) return false;
    lengths[kOrder[i]] = static_cast<uint8_t>(v);
  }
  THuffman lengthCode;
  if (!lengthCode.Build(lengths, 19)) return false;
  std::memset(lengths, 0, 19);
  int i = 0;
  while (i < nlen + ndist) {
    const int sym = lengthCode.Decode(in);
    if (sym < 0) return false;
    if (sym < 16) {
      lengths[i++] = static_cast<uint8_t>(sym);
      continue;
    }
    uint32_t repeat;
    uint8_t value = 0;
    if (sym == 16) {
      if (i == 0 || !in.Take(2, repeat)) return false;
      value = lengths[i - 1];
      repeat += 3;
    } else if (sym == 17) {
      if (!in.Take(3, repeat)) return false;
      repeat += 3;
    } else {
      if (!in.Take(7, repeat)) return false;
      repeat += 11;
    }
    if (i + static_cast<int>(repeat) > nlen + ndist) return false;
    while (repeat-- > 0) lengths[i++] = value;
  }
  if (lengths[256] == 0) return false;  // a block must be able to end
  return litLen.Build(lengths, nlen) && dist.Build(lengths + nlen, ndist);
}

void FixedTables(THuffman& litLen, THuffman& dist) {
  uint8_t lengths[kLitLenCodes];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  litLen.Build(lengths, kLitLenCodes);
  std::memset(lengths, 5, kDistCodes);
  dist.Build(lengths, kDistCodes);
}

// Steps over a compressed block's symbols up to its end-of-block code.
bool SkipCodes(TBitReader& in, const THuffman& litLen, const THuffman& dist) {
  for (;;) {
    const int sym = litLen.Decode(in);
    if (sym < 256) {
      if (sym < 0) return false;
      continue;
    }
    if (sym == 256) return true;
    if (sym > 285) return false;
    // The length's extra bits come before the distance code.
    if (!in.Drop(kLengthExtra[sym - 257])) return false;
    const int d = dist.Decode(in);
    if (d < 0 || d >= kDistCodes || !in.Drop(kDistExtra[d])) return false;
  }
}

}  // namespace

bool LocateDeflateEnd(const void* data, size_t size, TDeflateEnd& end) {
  TBitReader in(static_cast<const uint8_t*>(data), size);
  THuffman litLen, dist;
  bool haveFixed = false;
  for (;;) {
    const uint64_t header = in.Position();
    uint32_t final, type;
    if (!in.Take(1, final) || !in.Take(2, type)) return false;
    if (type == 0) {
      in.SkipBytes(0);
      uint32_t len, nlen;
      if (!in.Take(16, len) || !in.Take(16, nlen) || (len ^ 0xFFFFu) != nlen) return false;
      if (!in.SkipBytes(len)) return false;
    } else if (type == 1) {
      // The fixed tables are rebuilt only if a dynamic block replaced them.
      if (!haveFixed) FixedTables(litLen, dist);
      haveFixed = true;
      if (!SkipCodes(in, litLen, dist)) return false;
    } else if (type == 2) {
      haveFixed = false;
      if (!ReadDynamicTables(in, litLen, dist) || !SkipCodes(in, litLen, dist)) return false;
    } else {
      return false;
    }
    if (final) {
      end.FinalBlockBit = header;
      end.EndBit = in.Position();
      return true;
    }
  }
}
