// What the HTTP client puts on the wire and reads back: URLs, the request
// head, the response parser with its bounds, cookies and proxy
// authentication. Nothing here opens a connection; the parser reads from
// any byte channel, so it is exercised over memory as well as sockets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "QvSocket.h"

class TStream;

// A malformed or oversized response, an unusable URL or a failed
// authentication. Like ENetError it ends a transfer as a failure.
QV_DECLARE_EXCEPTION(EHttpError, Exception);

// Bounds on what a server may send before the body: a longer line or more
// header fields fail the transfer instead of growing memory without end.
constexpr size_t kHttpMaxLineLength = 16 * 1024;
constexpr int kHttpMaxHeaderCount = 128;

// ---- URLs ----------------------------------------------------------------

struct THttpUrl {
  std::string Scheme;  // "http" or "https", lower case
  std::string Host;    // without brackets for an IPv6 literal
  uint16_t Port = 0;
  std::string PathAndQuery;  // begins with "/"; the fragment is dropped

  bool IsHttps() const { return Scheme == "https"; }
  bool HasDefaultPort() const { return Port == (IsHttps() ? 443 : 80); }
  // Host with brackets for IPv6, and ":port" unless it is the default
  // (the form of the Host header); HostPort always carries the port.
  std::string Authority() const;
  std::string HostPort() const;
  std::string ToString() const;  // absolute form, as sent to a proxy
};

// Parses an absolute http or https URL; raises EHttpError naming what is
// wrong. Bytes that may not stand in a request line (controls, blanks,
// non-ASCII) are percent-encoded in the path and query.
THttpUrl ParseHttpUrl(const std::string& url);
// Resolves a Location value against the URL that answered with it:
// absolute, scheme-relative, absolute-path and relative references.
THttpUrl ResolveHttpUrl(const THttpUrl& base, const std::string& reference);

// ---- request heads ---------------------------------------------------------

// Extra lines after the fixed headers, each "Name: value" without CRLF.
std::string BuildGetRequest(const THttpUrl& url, bool throughProxy, const std::vector<std::string>& extraHeaders);
std::string BuildConnectRequest(const THttpUrl& target, const std::vector<std::string>& extraHeaders);

// ---- responses -------------------------------------------------------------

struct THttpResponseHead {
  int Status = 0;
  int MinorVersion = 1;  // HTTP/1.x
  std::vector<std::pair<std::string, std::string>> Headers;  // in order, names as sent

  // The first value of a header (case-insensitive name); empty if none.
  std::string Value(const std::string& name) const;
  std::vector<std::string> Values(const std::string& name) const;
  bool Has(const std::string& name) const;
  // Whether the header's comma-separated list holds token (ignoring case).
  bool ListHas(const std::string& name, const std::string& token) const;
};

// How a body ends, from its head: RFC 7230 section 3.3.3 for a GET.
enum class THttpBodyKind { hbNone, hbLength, hbChunked, hbToClose };
struct THttpBodyFraming {
  THttpBodyKind Kind = THttpBodyKind::hbNone;
  int64_t Length = 0;  // for hbLength
};
// Raises EHttpError for a Content-Length that is not one non-negative
// number, or a transfer coding other than chunked last.
THttpBodyFraming BodyFramingOf(const THttpResponseHead& head, bool responseToConnect);

// Reads responses from a channel through a buffer of its own.
class THttpReader {
public:
  explicit THttpReader(TQvByteChannel& channel) : FChannel(channel) {}

  // The status line and header fields of the next final response; interim
  // 1xx responses are skipped. Raises EHttpError on malformed or oversized
  // input and ENetError when the stream ends first.
  THttpResponseHead ReadHead();
  // Reads the body framed by framing. Each piece goes to sink (which may
  // raise) and progress receives the running count. A body longer than
  // maxBody bytes fails before it outgrows what the sink can hold. After a
  // body of known length, bytes already waiting mean the server sent more
  // than it announced: EHttpError.
  void ReadBody(const THttpBodyFraming& framing, int64_t maxBody,
                const std::function<void(const char*, size_t)>& sink,
                const std::function<void(int64_t)>& progress);
  // Bytes received and not yet parsed.
  size_t Pending() const { return FEnd - FStart; }
  // Bytes received on the channel so far: a reused connection that fails
  // before a request's answer added any was merely stale.
  uint64_t ReceivedBytes() const { return FReceivedBytes; }

private:
  std::string ReadLine();
  bool Fill();  // false at the end of the stream
  void ReadChunked(int64_t maxBody, const std::function<void(const char*, size_t)>& sink,
                   const std::function<void(int64_t)>& progress);

  TQvByteChannel& FChannel;
  std::vector<char> FBuffer = std::vector<char>(16 * 1024);
  size_t FStart = 0;
  size_t FEnd = 0;
  uint64_t FReceivedBytes = 0;
};

// ---- cookies ---------------------------------------------------------------

// Cookies of one client's life, in memory only. A server may set at most
// kMaxCookies; attributes other than Domain, Path, Secure, Max-Age and
// Expires (which only decide removal: an expired cookie is dropped) are
// ignored.
class THttpCookieJar {
public:
  static constexpr size_t kMaxCookies = 64;
  void Store(const THttpUrl& from, const std::string& setCookie);
  // The Cookie header value for a request to url; empty when none applies.
  std::string HeaderFor(const THttpUrl& url) const;
  size_t Count() const { return FCookies.size(); }

private:
  struct TCookie {
    std::string Name, Value, Domain, Path;
    bool HostOnly = true, Secure = false;
  };
  std::vector<TCookie> FCookies;
};

// ---- proxy authentication --------------------------------------------------

std::string Base64Encode(const std::string& bytes);
std::string Base64Decode(const std::string& text);  // raises EHttpError
std::string Md5Hex(const std::string& bytes);

struct THttpChallenge {
  std::string Scheme;  // lower case: "basic", "digest", "ntlm", ...
  std::vector<std::pair<std::string, std::string>> Params;  // names lower case, values unquoted
  std::string Token;  // a bare token after the scheme (NTLM's base64 message)
  std::string Param(const std::string& name) const;
};
// Every challenge of the Proxy-Authenticate values, in order.
std::vector<THttpChallenge> ParseChallenges(const std::vector<std::string>& headerValues);

// The answer to a Digest challenge for method and uri (RFC 7616 with MD5
// and MD5-sess, qop "auth" or none). nonceCount counts the uses of this
// nonce from 1; cnonce is the client's nonce. Raises EHttpError for an
// algorithm or qop it cannot answer.
std::string DigestAuthorization(const THttpChallenge& challenge, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, uint32_t nonceCount,
                                const std::string& cnonce);
std::string BasicAuthorization(const std::string& user, const std::string& password);
