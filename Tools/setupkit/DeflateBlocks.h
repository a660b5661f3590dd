// Finds where a raw deflate stream's last block starts and where the stream
// ends, to the bit: what it takes to join separately compressed pieces into
// one stream (clear the last block's final flag, go on at the end bit).
//
// The walk decodes every block's Huffman codes but produces no output, so it
// costs a fraction of an inflate.
#pragma once

#include <cstddef>
#include <cstdint>

struct TDeflateEnd {
  uint64_t FinalBlockBit = 0;  // the final block's BFINAL bit, counted from bit 0 of byte 0
  uint64_t EndBit = 0;         // the first bit after its end-of-block code
};

// False when the data is no complete raw deflate stream (truncated, a bad
// block type or code table, a symbol no table defines); nothing past size is
// read either way.
bool LocateDeflateEnd(const void* data, size_t size, TDeflateEnd& end);
