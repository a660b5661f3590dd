// Whole-stream zlib helpers of TQvSysfn. Both work one-shot on the source's
// entire content; the memory-stream fast paths avoid copying the buffers that
// package decoding handles (tens of megabytes per installation).
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>
#include <string>

#include "QvClasses.h"
#include "QvExceptions.h"
#include "QvSysUtils.h"

namespace {

const char16_t* const kUnit = u"Common\\QvSysUtils";

// zlib counts in uInt; larger buffers are fed and drained in pieces.
constexpr size_t kMaxZChunk = static_cast<size_t>(UINT_MAX) & ~static_cast<size_t>(0xFFFF);

[[noreturn]] void CompressionFailed() { throw EZCompressionError(u"Error"); }
[[noreturn]] void DecompressionFailed() { throw EZDecompressionError(u"Error"); }

// The source's whole content as one contiguous block. A memory stream lends
// its own buffer; any other stream is read into holder.
const char* SourceBytes(TStream& source, int64_t size, std::string& holder) {
  source.SetPosition(0);
  if (auto* mem = dynamic_cast<TMemoryStream*>(&source)) return mem->Memory();
  if (static_cast<uint64_t>(size) > holder.max_size()) throw EReadError(u"Stream read error");
  holder.resize(static_cast<size_t>(size));
  source.ReadBuffer(&holder[0], size);
  return holder.data();
}

// Hands the result to dest. A memory stream (emptied by the caller) takes
// the buffer over without a copy; its position is left at the end either way.
void StoreResult(TStream& dest, std::string& result) {
  if (auto* mem = dynamic_cast<TMemoryStream*>(&dest)) {
    const int64_t size = static_cast<int64_t>(result.size());
    mem->Assign(std::move(result));
    mem->Seek(size, TSeekOrigin::soBeginning);
  } else {
    dest.WriteBuffer(result.data(), static_cast<int64_t>(result.size()));
  }
}

void FeedInput(z_stream& z, const char*& next, size_t& remaining) {
  if (z.avail_in != 0 || remaining == 0) return;
  const size_t piece = std::min(remaining, kMaxZChunk);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(next));
  z.avail_in = static_cast<uInt>(piece);
  next += piece;
  remaining -= piece;
}

void ProvideOutput(z_stream& z, std::string& out, size_t& produced, size_t wanted) {
  if (z.avail_out != 0) return;
  if (out.size() == produced) {
    if (out.size() >= out.max_size() - wanted) throw std::bad_alloc();
    out.resize(std::max(out.size() + wanted, out.size() * 2));
  }
  const size_t room = std::min(out.size() - produced, kMaxZChunk);
  z.next_out = reinterpret_cast<Bytef*>(&out[produced]);
  z.avail_out = static_cast<uInt>(room);
}

struct TDeflater {
  z_stream z{};
  bool open = false;
  ~TDeflater() { if (open) deflateEnd(&z); }
};

struct TInflater {
  z_stream z{};
  bool open = false;
  ~TInflater() { if (open) inflateEnd(&z); }
};

// Empties dest and rewinds source; returns the source size.
int64_t Begin(TStream* source, TStream* dest) {
  dest->SetPosition(0);
  dest->SetSize(0);
  source->SetPosition(0);
  return source->GetSize();
}

}  // namespace

void TQvSysfn::CompressStream(TStream* source, TStream* dest) {
  if (source == nullptr || dest == nullptr) throw EAssertionFailed(u"Assertion failure", kUnit, __LINE__);
  const int64_t n = Begin(source, dest);
  if (n <= 0) return;

  std::string holder;
  const char* next = SourceBytes(*source, n, holder);
  size_t remaining = static_cast<size_t>(n);

  TDeflater d;
  if (deflateInit2(&d.z, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) CompressionFailed();
  d.open = true;

  // deflateBound is exact enough that the loop below normally runs once.
  std::string out;
  const uLong bound = remaining <= kMaxZChunk ? deflateBound(&d.z, static_cast<uLong>(remaining)) : 0;
  size_t produced = 0;
  out.resize(bound != 0 ? static_cast<size_t>(bound) : kMaxZChunk / 4);
  for (;;) {
    FeedInput(d.z, next, remaining);
    ProvideOutput(d.z, out, produced, 1 << 16);
    const uInt before = d.z.avail_out;
    const int flush = remaining == 0 ? Z_FINISH : Z_NO_FLUSH;
    const int rc = deflate(&d.z, flush);
    produced += before - d.z.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) CompressionFailed();
  }
  out.resize(produced);
  StoreResult(*dest, out);
}

void TQvSysfn::DecompressStream(TStream* source, TStream* dest) {
  if (source == nullptr || dest == nullptr) throw EAssertionFailed(u"Assertion failure", kUnit, __LINE__);
  const int64_t n = Begin(source, dest);
  if (n <= 0) return;

  std::string holder;
  const char* next = SourceBytes(*source, n, holder);
  size_t remaining = static_cast<size_t>(n);

  // The plain size is stored nowhere. It is found first by inflating into
  // a small buffer that is thrown away, and the output is then made once at
  // its size: twice the inflating, but the output's memory is touched once.
  // Grown by doubling it would touch about three times its size, and the
  // first touch of a page costs more than inflating it (a script of 20,000
  // files inflates to 5 MB).
  size_t plainSize = 0;
  {
    TInflater count;
    if (inflateInit2(&count.z, 15) != Z_OK) DecompressionFailed();
    count.open = true;
    const char* countNext = next;
    size_t countRemaining = remaining;
    std::string scratch(1 << 16, '\0');
    for (;;) {
      FeedInput(count.z, countNext, countRemaining);
      count.z.next_out = reinterpret_cast<Bytef*>(&scratch[0]);
      count.z.avail_out = static_cast<uInt>(scratch.size());
      const int rc = inflate(&count.z, Z_NO_FLUSH);
      plainSize += scratch.size() - count.z.avail_out;
      if (rc == Z_STREAM_END) break;
      if (rc == Z_OK) continue;
      if (rc == Z_BUF_ERROR && count.z.avail_out == 0) continue;
      DecompressionFailed();
    }
  }

  TInflater inf;
  if (inflateInit2(&inf.z, 15) != Z_OK) DecompressionFailed();
  inf.open = true;
  std::string out;
  size_t produced = 0;
  // One byte more than the plain size, so that the stream's end is met
  // with room to spare and never needs another round.
  out.resize(plainSize + 1);
  for (;;) {
    FeedInput(inf.z, next, remaining);
    ProvideOutput(inf.z, out, produced, 1 << 16);
    const uInt before = inf.z.avail_out;
    const int rc = inflate(&inf.z, Z_NO_FLUSH);
    produced += before - inf.z.avail_out;
    if (rc == Z_STREAM_END) break;
    if (rc == Z_OK) continue;
    // No progress: either more room helps, or the input ran out before the
    // stream's end (truncated data).
    if (rc == Z_BUF_ERROR && inf.z.avail_out == 0) continue;
    DecompressionFailed();
  }
  out.resize(produced);
  StoreResult(*dest, out);
}
