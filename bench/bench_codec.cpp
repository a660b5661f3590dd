// The package codec against plain zlib at the same level on the same
// 64 MB buffer: what the scrambling and the stream plumbing cost on top of
// deflate and inflate themselves.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "MySetupUtils.h"
#include "QvClasses.h"

namespace {

using Clock = std::chrono::steady_clock;

// Deterministic content of the kind a setup carries: text, repeated
// structures, and stretches of noise as in already-compressed files.
std::string MakeContent(size_t size) {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&state]() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  static const char* words[] = {"install ", "program ", "files ", "registry ", "shortcut ", "\r\n", "value=", "0x"};
  std::string r;
  r.reserve(size + 64);
  while (r.size() < size) {
    const uint64_t pick = next() % 10;
    if (pick < 3) {
      for (int i = 0; i < 8; ++i) {
        const uint64_t v = next();
        r.append(reinterpret_cast<const char*>(&v), 8);
      }
    } else if (pick < 5) {
      r.append(32 + next() % 32, static_cast<char>(next() % 4));
    } else {
      r += words[next() % 8];
    }
  }
  r.resize(size);
  return r;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

template <class F>
double Best(int runs, F f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    f();
    best = std::min(best, Seconds(t0, Clock::now()));
  }
  return best;
}

}  // namespace

int main() {
  const size_t size = 64u << 20;
  const double mb = static_cast<double>(size) / (1 << 20);
  const int runs = 3;
  const std::string content = MakeContent(size);

  // Plain zlib, one call each way, buffers sized in advance.
  std::vector<Bytef> packed(compressBound(size));
  uLongf packedSize = 0;
  const double zc = Best(runs, [&] {
    packedSize = static_cast<uLongf>(packed.size());
    if (compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(content.data()), size, 9) != Z_OK)
      std::abort();
  });
  // The codec cannot know the plain size and allocates as it goes; the
  // baseline gets a fresh buffer of the right size each run, as a caller
  // that knew the size would allocate one.
  const double zd = Best(runs, [&] {
    std::unique_ptr<Bytef[]> unpacked(new Bytef[size]);
    uLongf outSize = size;
    if (uncompress(unpacked.get(), &outSize, packed.data(), packedSize) != Z_OK || outSize != size) std::abort();
  });

  // The codec, including the copy of the input each run needs.
  std::string stored;
  const double ec = Best(runs, [&] {
    TMemoryStream s(content);
    TSetupfn::EncodeStream(s);
    stored = s.Bytes();
  });
  const double copy = Best(runs, [&] { TMemoryStream s(content); });
  const double dc = Best(runs, [&] {
    TMemoryStream s(stored);
    TSetupfn::DecodeStream(s);
    if (s.GetSize() != static_cast<int64_t>(size)) std::abort();
  });
  const double copyStored = Best(runs, [&] { TMemoryStream s(stored); });
  std::string scratch = stored;
  const double xorPass = Best(runs, [&] { TSetupfn::XorBytes(&scratch[0], scratch.size()); });

  const double encode = ec - copy, decode = dc - copyStored;
  std::printf("content %.0f MB, stored %.2f MB (ratio %.3f)\n", mb, static_cast<double>(stored.size()) / (1 << 20),
              static_cast<double>(stored.size()) / static_cast<double>(size));
  std::printf("%-22s %10s %10s\n", "", "MB/s", "s");
  std::printf("%-22s %10.1f %10.3f\n", "compress2 level 9", mb / zc, zc);
  std::printf("%-22s %10.1f %10.3f\n", "EncodeStream", mb / encode, encode);
  std::printf("%-22s %10.1f %10.3f\n", "uncompress", mb / zd, zd);
  std::printf("%-22s %10.1f %10.3f\n", "DecodeStream", mb / decode, decode);
  std::printf("%-22s %10.1f %10.3f\n", "XOR pass (stored)", static_cast<double>(stored.size()) / (1 << 20) / xorPass,
              xorPass);
  std::printf("encode / compress2   %.3f (overhead %+.1f %%)\n", encode / zc, (encode / zc - 1) * 100);
  std::printf("decode / uncompress  %.3f (overhead %+.1f %%)\n", decode / zd, (decode / zd - 1) * 100);
  std::printf("XOR pass share: %.2f %% of encode, %.2f %% of decode (budget 5 %%)\n", xorPass / encode * 100,
              xorPass / decode * 100);
  return 0;
}
