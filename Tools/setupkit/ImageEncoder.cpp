#include "ImageEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#ifdef SETUPKIT_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#include <zlib.h>

#include "DeflateBlocks.h"
#include "MySetupUtils.h"
#include "QvExceptions.h"

namespace {

constexpr size_t kProbeBlock = 4096;
constexpr size_t kMaxStored = 65535;  // the most one stored block holds

[[noreturn]] void CompressionFailed() { throw EZCompressionError(u"Error"); }

// c * log2(c) for every count a probe block can hold.
const std::vector<float>& CountBits() {
  static const std::vector<float> table = [] {
    std::vector<float> t(kProbeBlock + 1, 0.0f);
    for (size_t c = 2; c <= kProbeBlock; ++c) t[c] = static_cast<float>(c * std::log2(static_cast<double>(c)));
    return t;
  }();
  return table;
}

uint32_t Adler32(const char* data, size_t size) {
#ifdef SETUPKIT_HAVE_LIBDEFLATE
  return libdeflate_adler32(1, data, size);
#else
  uLong adler = adler32(0, nullptr, 0);
  while (size > 0) {
    const uInt piece = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    adler = adler32(adler, reinterpret_cast<const Bytef*>(data), piece);
    data += piece;
    size -= piece;
  }
  return static_cast<uint32_t>(adler);
#endif
}

// Appends deflate blocks to a zlib stream under construction, keeping the
// bit position: a compressed piece may end inside a byte.
class TStreamJoiner {
public:
  explicit TStreamJoiner(std::string& out) : FOut(out) {
    // CMF: deflate, 32 KB window; FLG: no dictionary, check bits. The level
    // it would name is a hint to nobody.
    FOut.push_back('\x78');
    FOut.push_back('\x9C');
  }

  void AddStored(const char* data, size_t size, bool last) {
    do {
      const size_t piece = std::min(size, kMaxStored);
      const char final = last && piece == size ? 1 : 0;
      // Three header bits (BFINAL, BTYPE 00) where the last piece ended,
      // then zero bits up to the byte boundary.
      if (FPendingBits == 0) {
        FOut.push_back(final);
      } else {
        FOut.back() = static_cast<char>(FOut.back() | final << FPendingBits);
        if (FPendingBits > 5) FOut.push_back(0);
        FPendingBits = 0;
      }
      const char header[4] = {static_cast<char>(piece & 0xFF), static_cast<char>(piece >> 8),
                              static_cast<char>(~piece & 0xFF), static_cast<char>((~piece >> 8) & 0xFF)};
      FOut.append(header, 4);
      FOut.append(data, piece);
      data += piece;
      size -= piece;
    } while (size > 0);
  }

  // A complete raw deflate stream; unless it is the last piece, its final
  // block becomes an ordinary one and the next piece follows at its end bit.
  void AddCompressed(char* piece, size_t size, bool last) {
    // Stretches alternate between stored and compressed, and a stored
    // block ends on a byte boundary.
    if (FPendingBits != 0) CompressionFailed();
    if (last) {
      FOut.append(piece, size);
      return;
    }
    TDeflateEnd end;
    if (!LocateDeflateEnd(piece, size, end)) CompressionFailed();
    piece[end.FinalBlockBit / 8] = static_cast<char>(piece[end.FinalBlockBit / 8] & ~(1 << (end.FinalBlockBit % 8)));
    FOut.append(piece, static_cast<size_t>((end.EndBit + 7) / 8));
    FPendingBits = static_cast<int>(end.EndBit % 8);
    if (FPendingBits != 0) FOut.back() = static_cast<char>(FOut.back() & ((1 << FPendingBits) - 1));
  }

  void Finish(uint32_t adler) {
    const char trailer[4] = {static_cast<char>(adler >> 24), static_cast<char>(adler >> 16),
                             static_cast<char>(adler >> 8), static_cast<char>(adler)};
    FOut.append(trailer, 4);
  }

private:
  std::string& FOut;
  int FPendingBits = 0;  // used bits of the last byte; 0: on a byte boundary
};

}  // namespace

bool LooksIncompressible(const void* data, size_t size) {
  // Noise of 4 KB measures about 7.95 bits a byte (a sample never shows all
  // 256 values evenly). Below 7.8 Huffman codes alone save a few percent,
  // so such a block is left to the compressor. Counts cannot see repeats:
  // a block of noise that recurs within deflate's 32 KB window would shrink
  // and is stored all the same, which packed data seldom asks for.
  constexpr double kNoiseBits = 7.8;
  if (size < 256 || size > kProbeBlock) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  // Four histograms, so that runs of one byte value do not stall on one
  // counter.
  uint32_t counts[4][256] = {};
  size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    ++counts[0][p[i]];
    ++counts[1][p[i + 1]];
    ++counts[2][p[i + 2]];
    ++counts[3][p[i + 3]];
  }
  for (; i < size; ++i) ++counts[0][p[i]];
  const std::vector<float>& bits = CountBits();
  double sum = 0;  // sum of c log2 c; entropy = log2 n - sum / n
  for (int v = 0; v < 256; ++v) sum += bits[counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v]];
  const double n = static_cast<double>(size);
  return std::log2(n) - sum / n > kNoiseBits;
}

struct TImageEncoder::TCompressor {
#ifdef SETUPKIT_HAVE_LIBDEFLATE
  libdeflate_compressor* Compressor = nullptr;
  ~TCompressor() { libdeflate_free_compressor(Compressor); }
#else
  // Raw deflate for the pieces; whole zlib streams go through compress2.
  z_stream Raw{};
  bool Open = false;
  int Level = 9;
  ~TCompressor() {
    if (Open) deflateEnd(&Raw);
  }
#endif
};

TImageEncoder::TImageEncoder(int level) : FCompressor(std::make_unique<TCompressor>()) {
#ifdef SETUPKIT_HAVE_LIBDEFLATE
  FCompressor->Compressor = libdeflate_alloc_compressor(level);
  if (FCompressor->Compressor == nullptr) CompressionFailed();
#else
  FCompressor->Level = level;
  if (deflateInit2(&FCompressor->Raw, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) CompressionFailed();
  FCompressor->Open = true;
#endif
}

TImageEncoder::~TImageEncoder() = default;

size_t TImageEncoder::Compress(const char* data, size_t size, bool zlibWrapped) {
  // Files are below 2 GB, so every count fits zlib's 32 bits.
#ifdef SETUPKIT_HAVE_LIBDEFLATE
  libdeflate_compressor* c = FCompressor->Compressor;
  const size_t bound =
      zlibWrapped ? libdeflate_zlib_compress_bound(c, size) : libdeflate_deflate_compress_bound(c, size);
#else
  const size_t bound = compressBound(static_cast<uLong>(size));
#endif
  // Reused between files: after the first few, no page of it is new.
  if (bound > FScratchSize) {
    FScratch.reset(new char[bound]);
    FScratchSize = bound;
  }
#ifdef SETUPKIT_HAVE_LIBDEFLATE
  const size_t result = zlibWrapped ? libdeflate_zlib_compress(c, data, size, FScratch.get(), bound)
                                    : libdeflate_deflate_compress(c, data, size, FScratch.get(), bound);
  if (result == 0) CompressionFailed();
  return result;
#else
  if (zlibWrapped) {
    uLongf result = static_cast<uLongf>(bound);
    if (compress2(reinterpret_cast<Bytef*>(FScratch.get()), &result, reinterpret_cast<const Bytef*>(data),
                  static_cast<uLong>(size), FCompressor->Level) != Z_OK)
      CompressionFailed();
    return result;
  }
  z_stream& z = FCompressor->Raw;
  if (deflateReset(&z) != Z_OK) CompressionFailed();
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z.avail_in = static_cast<uInt>(size);
  z.next_out = reinterpret_cast<Bytef*>(FScratch.get());
  z.avail_out = static_cast<uInt>(bound);
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) CompressionFailed();
  return bound - z.avail_out;
#endif
}

void TImageEncoder::Stitch(const char* data, size_t size, const std::vector<uint8_t>& noisy, std::string& out) {
  // Stored blocks cost 5 bytes each; compressed stretches come out smaller
  // than they go in, give or take a few bytes.
  out.reserve(size + size / kMaxStored * 5 + noisy.size() * 8 + 64);
  TStreamJoiner joiner(out);
  size_t block = 0;
  while (block < noisy.size()) {
    size_t endBlock = block + 1;
    while (endBlock < noisy.size() && noisy[endBlock] == noisy[block]) ++endBlock;
    const size_t begin = block * kProbeBlock;
    const size_t end = std::min(size, endBlock * kProbeBlock);
    const bool last = endBlock == noisy.size();
    if (noisy[block]) {
      joiner.AddStored(data + begin, end - begin, last);
    } else {
      const size_t n = Compress(data + begin, end - begin, false);
      joiner.AddCompressed(FScratch.get(), n, last);
    }
    block = endBlock;
  }
  joiner.Finish(Adler32(data, size));
}

std::string TImageEncoder::Encode(const std::string& source) {
  if (source.empty()) return std::string();
  const size_t blocks = (source.size() + kProbeBlock - 1) / kProbeBlock;
  std::vector<uint8_t> noisy(blocks);
  bool anyNoisy = false;
  for (size_t b = 0; b < blocks; ++b) {
    const size_t begin = b * kProbeBlock;
    noisy[b] = LooksIncompressible(source.data() + begin, std::min(kProbeBlock, source.size() - begin));
    anyNoisy = anyNoisy || noisy[b];
  }
  std::string out;
  if (anyNoisy) {
    Stitch(source.data(), source.size(), noisy, out);
  } else {
    // Nothing to store: the compressor takes the file whole.
    const size_t n = Compress(source.data(), source.size(), true);
    out.assign(FScratch.get(), n);
  }
  TSetupfn::XorBytes(&out[0], out.size());
  return out;
}
