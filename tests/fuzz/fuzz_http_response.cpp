// Arbitrary bytes as a server's answer: the response parser reads heads
// and bodies from them, in pieces of a size the input chooses, as it
// would from a socket; what the heads carry then goes through the cookie
// jar, the challenge parser and the Location resolution. Every input must
// end in a parsed response or one of the client's own errors.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "QvHttpWire.h"

namespace {

class TMemoryChannel : public TQvByteChannel {
public:
  TMemoryChannel(const uint8_t* data, size_t size, size_t piece) : FData(data), FSize(size), FPiece(piece) {}
  void SendAll(const char*, size_t) override {}
  size_t Receive(char* buffer, size_t size) override {
    const size_t n = std::min({size, FPiece, FSize - FPos});
    std::memcpy(buffer, FData + FPos, n);
    FPos += n;
    return n;
  }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPiece;
  size_t FPos = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + data[0] * 7;
  const bool toConnect = (data[1] & 1) != 0;
  TMemoryChannel channel(data + 2, size - 2, piece);
  THttpReader reader(channel);
  THttpUrl base = ParseHttpUrl("http://example.test:8080/dir/file?q=1");
  THttpCookieJar jar;
  try {
    // A kept-alive connection may carry several answers.
    for (int i = 0; i < 4; ++i) {
      const THttpResponseHead head = reader.ReadHead();
      for (const std::string& c : head.Values("Set-Cookie")) jar.Store(base, c);
      (void)jar.HeaderFor(base);
      for (const THttpChallenge& c : ParseChallenges(head.Values("Proxy-Authenticate"))) {
        if (c.Scheme == "digest") {
          try {
            (void)DigestAuthorization(c, "u", "p", "GET", "/", 1, "abc");
          } catch (const EHttpError&) {
          }
        }
      }
      if (head.Has("Location")) {
        try {
          base = ResolveHttpUrl(base, head.Value("Location"));
        } catch (const EHttpError&) {
        }
      }
      int64_t total = 0;
      reader.ReadBody(BodyFramingOf(head, toConnect), 1 << 20, [&](const char*, size_t n) { total += static_cast<int64_t>(n); },
                      [&](int64_t done) {
                        if (done != total) __builtin_trap();
                      });
      if (total > (1 << 20)) __builtin_trap();
    }
  } catch (const EHttpError&) {
  } catch (const ENetError&) {
  }
  return 0;
}
