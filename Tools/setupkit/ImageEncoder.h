// Encodes the product's file images for a package: one zlib stream per
// file, XORed as every package resource is (see TSetupfn::EncodeStream), so
// that the installer decodes them alike.
//
// A file is probed in 4 KB blocks first. Stretches of blocks that look like
// noise (packed or encrypted data, whose bytes are nearly evenly spread)
// are stored, the rest compressed at the chosen level, and the pieces
// joined into one stream. The search for matches in noise finds nothing and
// used to cost most of a build's time, while deflate blocks shared between
// text and noise code the noise in more than 8 bits a byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One per thread: a compressor keeps its work tables and buffers between
// calls.
class TImageEncoder {
public:
  // level: 1 to 12 with libdeflate, 1 to 9 with zlib.
  explicit TImageEncoder(int level);
  ~TImageEncoder();
  TImageEncoder(const TImageEncoder&) = delete;
  TImageEncoder& operator=(const TImageEncoder&) = delete;

  // An empty source stays empty, as the codec keeps it.
  std::string Encode(const std::string& source);

private:
  // Compresses size bytes at data into FScratch, as a zlib stream or a raw
  // deflate stream; returns the compressed size.
  size_t Compress(const char* data, size_t size, bool zlibWrapped);
  void Stitch(const char* data, size_t size, const std::vector<uint8_t>& noisy, std::string& out);

  struct TCompressor;
  std::unique_ptr<TCompressor> FCompressor;
  std::unique_ptr<char[]> FScratch;
  size_t FScratchSize = 0;
};

// True when the order-0 entropy of the block (at most 4 KB) says deflate
// could hardly shrink it.
bool LooksIncompressible(const void* data, size_t size);
