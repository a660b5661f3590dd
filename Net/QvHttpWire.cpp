// URLs, request heads, the response parser, cookies and the proxy
// authentication schemes that need no operating-system provider.
#include "QvHttpWire.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "QvSysUtils.h"

namespace {

const char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerStr(std::string s) {
  for (char& c : s) c = Lower(c);
  return s;
}

bool SameAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string TrimOws(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool IsTokenChar(char c) {
  if (static_cast<unsigned char>(c) <= 32 || static_cast<unsigned char>(c) >= 127) return false;
  return std::strchr("()<>@,;:\\\"/[]?={}", c) == nullptr;
}

// What may stand unencoded in a request target; '%' stays as the caller
// wrote it, so an already encoded URL is not encoded twice.
std::string EncodeTarget(const std::string& s) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c <= 32 || c >= 127 || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' || c == '{' ||
        c == '|' || c == '}') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// RFC 3986 section 5.2.4, on a path that begins with "/".
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> out;
  size_t i = 1;
  bool trailingSlash = false;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    const std::string seg = path.substr(i, j - i);
    trailingSlash = (seg == "." || seg == "..");
    if (seg == "..") {
      if (!out.empty()) out.pop_back();
    } else if (seg != ".") {
      out.push_back(seg);
    }
    i = j + 1;
  }
  std::string r;
  for (const std::string& seg : out) r += "/" + seg;
  if (r.empty() || trailingSlash) r += "/";
  return r;
}

void SplitPathQuery(const std::string& s, std::string& path, std::string& query) {
  const size_t q = s.find('?');
  path = s.substr(0, q);
  query = q == std::string::npos ? std::string() : s.substr(q);
}

}  // namespace

// ---- URLs ----------------------------------------------------------------

std::string THttpUrl::Authority() const {
  std::string h = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
  return HasDefaultPort() ? h : h + ":" + std::to_string(Port);
}

std::string THttpUrl::HostPort() const {
  std::string h = Host.find(':') != std::string::npos ? "[" + Host + "]" : Host;
  return h + ":" + std::to_string(Port);
}

std::string THttpUrl::ToString() const { return Scheme + "://" + Authority() + PathAndQuery; }

THttpUrl ParseHttpUrl(const std::string& url) {
  const auto bad = [&](const char* why) -> EHttpError {
    return EHttpError(Utf8ToWide(std::string("Invalid URL \"") + url + "\": " + why));
  };
  THttpUrl u;
  std::string s = TrimOws(url);
  const size_t colon = s.find("://");
  if (colon == std::string::npos) throw bad("no http:// or https:// at its start");
  u.Scheme = LowerStr(s.substr(0, colon));
  if (u.Scheme != "http" && u.Scheme != "https") throw bad("only http and https are supported");
  s = s.substr(colon + 3);
  const size_t hash = s.find('#');
  if (hash != std::string::npos) s.resize(hash);
  const size_t authEnd = s.find_first_of("/?");
  std::string authority = s.substr(0, authEnd);
  std::string rest = authEnd == std::string::npos ? std::string("/") : s.substr(authEnd);
  if (rest[0] == '?') rest = "/" + rest;
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) throw bad("user names in URLs are not supported");
  std::string portText;
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) throw bad("unclosed '[' in the host");
    u.Host = authority.substr(1, close - 1);
    const std::string after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') throw bad("text after the IPv6 address");
      portText = after.substr(1);
    }
  } else {
    const size_t pc = authority.rfind(':');
    u.Host = authority.substr(0, pc);
    if (pc != std::string::npos) portText = authority.substr(pc + 1);
  }
  if (u.Host.empty()) throw bad("no host");
  for (char c : u.Host) {
    if (static_cast<unsigned char>(c) <= 32 || c == '/' || c == '\\' || static_cast<unsigned char>(c) >= 127)
      throw bad("invalid character in the host");
  }
  u.Port = u.IsHttps() ? 443 : 80;
  if (!portText.empty()) {
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) throw bad("invalid port");
    const long p = std::stol(portText);
    if (p < 1 || p > 65535) throw bad("port out of range");
    u.Port = static_cast<uint16_t>(p);
  }
  u.PathAndQuery = EncodeTarget(rest);
  return u;
}

THttpUrl ResolveHttpUrl(const THttpUrl& base, const std::string& reference) {
  const std::string ref = TrimOws(reference);
  if (ref.empty()) throw EHttpError(u"Redirect without a Location");
  const size_t colon = ref.find("://");
  const size_t firstDelim = ref.find_first_of("/?#");
  if (colon != std::string::npos && (firstDelim == std::string::npos || colon < firstDelim)) return ParseHttpUrl(ref);
  if (ref.compare(0, 2, "//") == 0) return ParseHttpUrl(base.Scheme + ":" + ref);
  THttpUrl u = base;
  std::string r = ref.substr(0, ref.find('#'));
  std::string basePath, baseQuery, refPath, refQuery;
  SplitPathQuery(base.PathAndQuery, basePath, baseQuery);
  SplitPathQuery(r, refPath, refQuery);
  std::string path;
  if (refPath.empty()) {
    path = basePath;
    if (refQuery.empty()) refQuery = baseQuery;
  } else if (refPath[0] == '/') {
    path = refPath;
  } else {
    path = basePath.substr(0, basePath.rfind('/') + 1) + refPath;
  }
  u.PathAndQuery = EncodeTarget(RemoveDotSegments(path) + refQuery);
  return u;
}

// ---- request heads ---------------------------------------------------------

std::string BuildGetRequest(const THttpUrl& url, bool throughProxy, const std::vector<std::string>& extraHeaders) {
  // A proxy is given the absolute URL; an https request is tunnelled and
  // so never reaches this with throughProxy set.
  std::string r = "GET " + (throughProxy ? url.ToString() : url.PathAndQuery) + " HTTP/1.1\r\n";
  // On https the connection stays open by HTTP/1.1's default, and no
  // Connection header is sent there.
  if (!url.IsHttps()) r += "Connection: Keep-Alive\r\n";
  r += "Cache-control: no-cache\r\n";
  r += "Host: " + url.Authority() + "\r\n";
  r += "Accept: */*\r\n";
  r += "Accept-Encoding: identity\r\n";
  r += std::string("User-Agent: ") + kUserAgent + "\r\n";
  for (const std::string& h : extraHeaders) r += h + "\r\n";
  return r + "\r\n";
}

std::string BuildConnectRequest(const THttpUrl& target, const std::vector<std::string>& extraHeaders) {
  std::string r = "CONNECT " + target.HostPort() + " HTTP/1.1\r\n";
  r += "Pragma: no-cache\r\n";
  r += "Proxy-Connection: keep-alive\r\n";
  r += "Host: " + target.HostPort() + "\r\n";
  r += "Accept: text/html, */*\r\n";
  r += std::string("User-Agent: ") + kUserAgent + "\r\n";
  for (const std::string& h : extraHeaders) r += h + "\r\n";
  return r + "\r\n";
}

// ---- responses -------------------------------------------------------------

std::string THttpResponseHead::Value(const std::string& name) const {
  for (const auto& h : Headers)
    if (SameAscii(h.first, name)) return h.second;
  return std::string();
}

std::vector<std::string> THttpResponseHead::Values(const std::string& name) const {
  std::vector<std::string> r;
  for (const auto& h : Headers)
    if (SameAscii(h.first, name)) r.push_back(h.second);
  return r;
}

bool THttpResponseHead::Has(const std::string& name) const {
  for (const auto& h : Headers)
    if (SameAscii(h.first, name)) return true;
  return false;
}

bool THttpResponseHead::ListHas(const std::string& name, const std::string& token) const {
  for (const std::string& v : Values(name)) {
    size_t i = 0;
    while (i <= v.size()) {
      size_t j = v.find(',', i);
      if (j == std::string::npos) j = v.size();
      if (SameAscii(TrimOws(v.substr(i, j - i)), token)) return true;
      i = j + 1;
    }
  }
  return false;
}

THttpBodyFraming BodyFramingOf(const THttpResponseHead& head, bool responseToConnect) {
  THttpBodyFraming f;
  if ((head.Status >= 100 && head.Status < 200) || head.Status == 204 || head.Status == 304) return f;
  if (responseToConnect && head.Status >= 200 && head.Status < 300) return f;  // the tunnel begins
  if (head.Has("Transfer-Encoding")) {
    // The last coding decides; anything but chunked runs to the end.
    std::string all;
    for (const std::string& v : head.Values("Transfer-Encoding")) all += (all.empty() ? "" : ",") + v;
    const size_t lastComma = all.rfind(',');
    const std::string last = LowerStr(TrimOws(lastComma == std::string::npos ? all : all.substr(lastComma + 1)));
    f.Kind = last == "chunked" ? THttpBodyKind::hbChunked : THttpBodyKind::hbToClose;
    return f;
  }
  const std::vector<std::string> lengths = head.Values("Content-Length");
  if (lengths.empty()) {
    f.Kind = THttpBodyKind::hbToClose;
    return f;
  }
  // Several fields, or a list, must all carry the same number.
  bool have = false;
  for (const std::string& v : lengths) {
    size_t i = 0;
    while (i <= v.size()) {
      size_t j = v.find(',', i);
      if (j == std::string::npos) j = v.size();
      const std::string n = TrimOws(v.substr(i, j - i));
      if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos)
        throw EHttpError(Utf8ToWide("Invalid Content-Length \"" + v.substr(0, 64) + "\""));
      int64_t len = 0;
      for (char c : n) {
        if (len > (std::numeric_limits<int64_t>::max() - (c - '0')) / 10)
          throw EHttpError(Utf8ToWide("A body of " + n.substr(0, 64) + " bytes does not fit"));
        len = len * 10 + (c - '0');
      }
      if (have && len != f.Length) throw EHttpError(u"Conflicting Content-Length values");
      f.Length = len;
      have = true;
      i = j + 1;
    }
  }
  f.Kind = THttpBodyKind::hbLength;
  return f;
}

bool THttpReader::Fill() {
  if (FStart == FEnd) FStart = FEnd = 0;
  if (FEnd == FBuffer.size()) {
    // Room is made by moving what is still unread to the front; the buffer
    // never grows past the line limit plus one read.
    std::memmove(FBuffer.data(), FBuffer.data() + FStart, FEnd - FStart);
    FEnd -= FStart;
    FStart = 0;
    if (FEnd == FBuffer.size()) FBuffer.resize(std::min(FBuffer.size() * 2, kHttpMaxLineLength + 16 * 1024));
    if (FEnd == FBuffer.size()) throw EHttpError(u"Header line too long");
  }
  const size_t n = FChannel.Receive(FBuffer.data() + FEnd, FBuffer.size() - FEnd);
  if (n == 0) return false;
  FEnd += n;
  FReceivedBytes += n;
  return true;
}

std::string THttpReader::ReadLine() {
  size_t scanned = 0;
  for (;;) {
    const char* begin = FBuffer.data() + FStart;
    const char* nl = static_cast<const char*>(std::memchr(begin + scanned, '\n', FEnd - FStart - scanned));
    if (nl) {
      size_t len = static_cast<size_t>(nl - begin);
      if (len > kHttpMaxLineLength) throw EHttpError(u"Header line too long");
      std::string line(begin, len);
      FStart += len + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    scanned = FEnd - FStart;
    if (scanned > kHttpMaxLineLength) throw EHttpError(u"Header line too long");
    if (!Fill()) throw ENetError(u"Connection closed by the server before the response was complete");
  }
}

THttpResponseHead THttpReader::ReadHead() {
  for (int interim = 0;; ++interim) {
    if (interim > 16) throw EHttpError(u"Too many interim responses");
    THttpResponseHead head;
    std::string line = ReadLine();
    // A stray empty line before the status line is tolerated once.
    if (line.empty()) line = ReadLine();
    if (line.size() < 12 || line.compare(0, 7, "HTTP/1.") != 0 || line[7] < '0' || line[7] > '9' || line[8] != ' ' ||
        line[9] < '1' || line[9] > '5' || line[10] < '0' || line[10] > '9' || line[11] < '0' || line[11] > '9' ||
        (line.size() > 12 && line[12] != ' '))
      throw EHttpError(Utf8ToWide("Invalid status line \"" + line.substr(0, 80) + "\""));
    head.MinorVersion = line[7] - '0';
    head.Status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    size_t headerBytes = 0;
    for (;;) {
      line = ReadLine();
      if (line.empty()) break;
      headerBytes += line.size();
      if (headerBytes > 4 * kHttpMaxLineLength) throw EHttpError(u"Response header too large");
      if (line[0] == ' ' || line[0] == '\t') {
        // An obsolete folded line continues the previous field.
        if (head.Headers.empty()) throw EHttpError(u"Invalid header line");
        head.Headers.back().second += " " + TrimOws(line);
        continue;
      }
      const size_t colon = line.find(':');
      if (colon == std::string::npos || colon == 0) throw EHttpError(Utf8ToWide("Invalid header line \"" + line.substr(0, 80) + "\""));
      std::string name = line.substr(0, colon);
      for (char c : name)
        if (!IsTokenChar(c)) throw EHttpError(Utf8ToWide("Invalid header name \"" + name.substr(0, 80) + "\""));
      if (static_cast<int>(head.Headers.size()) >= kHttpMaxHeaderCount) throw EHttpError(u"Too many header fields");
      head.Headers.emplace_back(std::move(name), TrimOws(line.substr(colon + 1)));
    }
    if (head.Status >= 200 || head.Status == 101) return head;
  }
}

namespace {

[[noreturn]] void TooLong(int64_t maxBody) {
  throw EHttpError(Utf8ToWide("The body does not fit in the " + std::to_string(maxBody) + " bytes allowed"));
}

}  // namespace

void THttpReader::ReadBody(const THttpBodyFraming& framing, int64_t maxBody,
                           const std::function<void(const char*, size_t)>& sink,
                           const std::function<void(int64_t)>& progress) {
  switch (framing.Kind) {
    case THttpBodyKind::hbNone:
      return;
    case THttpBodyKind::hbChunked:
      ReadChunked(maxBody, sink, progress);
      return;
    case THttpBodyKind::hbLength: {
      if (framing.Length > maxBody)
        throw EHttpError(Utf8ToWide("A body of " + std::to_string(framing.Length) + " bytes does not fit in the " +
                                    std::to_string(maxBody) + " bytes allowed"));
      int64_t done = 0;
      while (done < framing.Length) {
        if (FStart == FEnd && !Fill()) throw ENetError(u"Connection closed by the server before the body was complete");
        const size_t n = static_cast<size_t>(std::min<int64_t>(framing.Length - done, static_cast<int64_t>(FEnd - FStart)));
        sink(FBuffer.data() + FStart, n);
        FStart += n;
        done += static_cast<int64_t>(n);
        if (progress) progress(done);
      }
      if (Pending() != 0) throw EHttpError(u"The server sent more than the announced Content-Length");
      return;
    }
    case THttpBodyKind::hbToClose: {
      int64_t done = 0;
      for (;;) {
        if (FStart == FEnd && !Fill()) return;
        const size_t n = FEnd - FStart;
        if (static_cast<int64_t>(n) > maxBody - done) TooLong(maxBody);
        sink(FBuffer.data() + FStart, n);
        FStart = FEnd;
        done += static_cast<int64_t>(n);
        if (progress) progress(done);
      }
    }
  }
}

void THttpReader::ReadChunked(int64_t maxBody, const std::function<void(const char*, size_t)>& sink,
                              const std::function<void(int64_t)>& progress) {
  int64_t done = 0;
  for (;;) {
    const std::string line = ReadLine();
    size_t i = 0;
    int64_t size = 0;
    while (i < line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))) {
      const char c = Lower(line[i]);
      const int digit = c <= '9' ? c - '0' : c - 'a' + 10;
      if (size > (std::numeric_limits<int64_t>::max() - digit) / 16) throw EHttpError(u"Chunk size too large");
      size = size * 16 + digit;
      ++i;
    }
    if (i == 0) throw EHttpError(Utf8ToWide("Invalid chunk size line \"" + line.substr(0, 40) + "\""));
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] != ';') throw EHttpError(Utf8ToWide("Invalid chunk size line \"" + line.substr(0, 40) + "\""));
    if (size == 0) break;
    if (size > maxBody - done) TooLong(maxBody);
    int64_t left = size;
    while (left > 0) {
      if (FStart == FEnd && !Fill()) throw ENetError(u"Connection closed by the server inside a chunk");
      const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(FEnd - FStart)));
      sink(FBuffer.data() + FStart, n);
      FStart += n;
      left -= static_cast<int64_t>(n);
      done += static_cast<int64_t>(n);
      if (progress) progress(done);
    }
    if (!ReadLine().empty()) throw EHttpError(u"Chunk data longer than its size");
  }
  // Trailer fields are read and dropped, under the same bounds as headers.
  for (int count = 0;; ++count) {
    if (count > kHttpMaxHeaderCount) throw EHttpError(u"Too many trailer fields");
    if (ReadLine().empty()) break;
  }
}

// ---- cookies ---------------------------------------------------------------

namespace {

bool DomainMatches(const std::string& host, const std::string& domain) {
  if (SameAscii(host, domain)) return true;
  return host.size() > domain.size() && host[host.size() - domain.size() - 1] == '.' &&
         SameAscii(host.substr(host.size() - domain.size()), domain);
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

// Whether an Expires date lies in the past; a date we cannot read keeps
// the cookie for the session, the safe side for a short-lived client.
bool ExpiresInPast(const std::string& value) {
  static const char* months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  int day = 0, year = 0, hh = 0, mm = 0, ss = 0, month = -1;
  char mon[4] = {};
  const size_t comma = value.find(',');
  const std::string rest = comma == std::string::npos ? value : value.substr(comma + 1);
  if (std::sscanf(rest.c_str(), " %d%*[ -]%3s%*[ -]%d %d:%d:%d", &day, mon, &year, &hh, &mm, &ss) != 6) return false;
  for (int i = 0; i < 12; ++i)
    if (LowerStr(mon) == months[i]) month = i;
  if (month < 0) return false;
  if (year < 100) year += year < 70 ? 2000 : 1900;
  // Days from the civil date, so no time zone of the host enters.
  const int y = year - (month < 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int m = month + 1;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
  const long long when = days * 86400 + hh * 3600 + mm * 60 + ss;
  return when < static_cast<long long>(std::time(nullptr));
}

}  // namespace

void THttpCookieJar::Store(const THttpUrl& from, const std::string& setCookie) {
  if (setCookie.size() > 8192) return;
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= setCookie.size()) {
    size_t j = setCookie.find(';', i);
    if (j == std::string::npos) j = setCookie.size();
    parts.push_back(TrimOws(setCookie.substr(i, j - i)));
    i = j + 1;
  }
  const size_t eq = parts[0].find('=');
  if (eq == std::string::npos) return;
  TCookie c;
  c.Name = TrimOws(parts[0].substr(0, eq));
  c.Value = TrimOws(parts[0].substr(eq + 1));
  if (c.Name.empty()) return;
  c.Domain = LowerStr(from.Host);
  std::string reqPath, reqQuery;
  SplitPathQuery(from.PathAndQuery, reqPath, reqQuery);
  c.Path = reqPath.substr(0, std::max<size_t>(reqPath.rfind('/'), 1));
  bool expired = false;
  bool haveMaxAge = false;
  for (size_t k = 1; k < parts.size(); ++k) {
    const size_t e = parts[k].find('=');
    const std::string name = LowerStr(TrimOws(parts[k].substr(0, e)));
    const std::string value = e == std::string::npos ? std::string() : TrimOws(parts[k].substr(e + 1));
    if (name == "domain" && !value.empty()) {
      std::string d = LowerStr(value[0] == '.' ? value.substr(1) : value);
      // A server may widen a cookie to its own parent domains only.
      if (!DomainMatches(LowerStr(from.Host), d) || d.find('.') == std::string::npos) return;
      c.Domain = d;
      c.HostOnly = false;
    } else if (name == "path" && !value.empty() && value[0] == '/') {
      c.Path = value;
    } else if (name == "secure") {
      c.Secure = true;
    } else if (name == "max-age") {
      haveMaxAge = true;
      expired = !value.empty() && (value[0] == '-' || value.find_first_not_of('0') == std::string::npos);
    } else if (name == "expires" && !haveMaxAge) {
      expired = ExpiresInPast(value);
    }
  }
  // A cookie of the same name, domain and path is replaced where it
  // stands, so it keeps its place among cookies of equal path length.
  auto same = [&](const TCookie& o) { return o.Name == c.Name && o.Domain == c.Domain && o.Path == c.Path; };
  const auto it = std::find_if(FCookies.begin(), FCookies.end(), same);
  if (expired) {
    if (it != FCookies.end()) FCookies.erase(it);
  } else if (it != FCookies.end()) {
    *it = std::move(c);
  } else if (FCookies.size() < kMaxCookies) {
    FCookies.push_back(std::move(c));
  }
}

std::string THttpCookieJar::HeaderFor(const THttpUrl& url) const {
  std::string path, query, r;
  SplitPathQuery(url.PathAndQuery, path, query);
  const std::string host = LowerStr(url.Host);
  // Longer paths first, then in the order they were set (RFC 6265 5.4).
  std::vector<const TCookie*> order;
  for (const TCookie& c : FCookies) order.push_back(&c);
  std::stable_sort(order.begin(), order.end(), [](const TCookie* a, const TCookie* b) { return a->Path.size() > b->Path.size(); });
  for (const TCookie* p : order) {
    const TCookie& c = *p;
    if (c.HostOnly ? host != c.Domain : !DomainMatches(host, c.Domain)) continue;
    if (!PathMatches(path, c.Path) || (c.Secure && !url.IsHttps())) continue;
    if (!r.empty()) r += "; ";
    r += c.Name + "=" + c.Value;
  }
  return r;
}

// ---- proxy authentication --------------------------------------------------

std::string Base64Encode(const std::string& bytes) {
  static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                       static_cast<uint8_t>(bytes[i + 2]);
    out += table[v >> 18];
    out += table[(v >> 12) & 63];
    out += table[(v >> 6) & 63];
    out += table[v & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += table[v >> 18];
    out += table[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? table[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Decode(const std::string& text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') break;
    else throw EHttpError(u"Invalid base64 text");
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  return out;
}

namespace {

// MD5 (RFC 1321); Digest authentication needs nothing stronger from us,
// and the Windows build has no crypto library to borrow it from.
class TMd5 {
public:
  void Update(const std::string& s) {
    for (unsigned char c : s) {
      FBlock[FUsed++] = c;
      FBits += 8;
      if (FUsed == 64) {
        Transform();
        FUsed = 0;
      }
    }
  }
  std::string HexDigest() {
    const uint64_t bits = FBits;
    std::string pad(1, '\x80');
    pad += std::string((FUsed < 56 ? 55 - FUsed : 119 - FUsed), '\0');
    for (int i = 0; i < 8; ++i) pad += static_cast<char>((bits >> (8 * i)) & 0xFF);
    Update(pad);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (uint32_t v : FState)
      for (int i = 0; i < 4; ++i) {
        const uint8_t b = (v >> (8 * i)) & 0xFF;
        out += hex[b >> 4];
        out += hex[b & 15];
      }
    return out;
  }

private:
  static uint32_t Rol(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }
  void Transform() {
    static const uint32_t k[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static const int r[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                              14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                              4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    uint32_t w[16];
    for (int i = 0; i < 16; ++i)
      w[i] = FBlock[i * 4] | (FBlock[i * 4 + 1] << 8) | (FBlock[i * 4 + 2] << 16) | (static_cast<uint32_t>(FBlock[i * 4 + 3]) << 24);
    uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3];
    for (int i = 0; i < 64; ++i) {
      uint32_t f;
      int g;
      if (i < 16) { f = (b & c) | (~b & d); g = i; }
      else if (i < 32) { f = (d & b) | (~d & c); g = (5 * i + 1) % 16; }
      else if (i < 48) { f = b ^ c ^ d; g = (3 * i + 5) % 16; }
      else { f = c ^ (b | ~d); g = (7 * i) % 16; }
      const uint32_t t = d;
      d = c;
      c = b;
      b = b + Rol(a + f + k[i] + w[g], r[i]);
      a = t;
    }
    FState[0] += a;
    FState[1] += b;
    FState[2] += c;
    FState[3] += d;
  }
  uint32_t FState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  unsigned char FBlock[64] = {};
  size_t FUsed = 0;
  uint64_t FBits = 0;
};

std::string Quoted(const std::string& s) {
  std::string r = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') r += '\\';
    r += c;
  }
  return r + "\"";
}

}  // namespace

std::string Md5Hex(const std::string& bytes) {
  TMd5 m;
  m.Update(bytes);
  return m.HexDigest();
}

std::string THttpChallenge::Param(const std::string& name) const {
  for (const auto& p : Params)
    if (p.first == name) return p.second;
  return std::string();
}

std::vector<THttpChallenge> ParseChallenges(const std::vector<std::string>& headerValues) {
  std::vector<THttpChallenge> out;
  for (const std::string& v : headerValues) {
    size_t i = 0;
    const size_t n = v.size();
    auto skipWs = [&] { while (i < n && (v[i] == ' ' || v[i] == '\t')) ++i; };
    auto token = [&] {
      const size_t b = i;
      while (i < n && IsTokenChar(v[i])) ++i;
      return v.substr(b, i - b);
    };
    while (i < n) {
      skipWs();
      if (i < n && v[i] == ',') { ++i; continue; }
      std::string name = token();
      if (name.empty()) { ++i; continue; }  // skip what cannot start anything
      skipWs();
      if (i < n && v[i] == '=' && !out.empty()) {
        // name=value of the current challenge.
        ++i;
        skipWs();
        std::string value;
        if (i < n && v[i] == '"') {
          ++i;
          while (i < n && v[i] != '"') {
            if (v[i] == '\\' && i + 1 < n) ++i;
            value += v[i++];
          }
          if (i < n) ++i;
        } else {
          // A bare token, or base64 with its padding.
          const size_t b = i;
          while (i < n && v[i] != ',' && v[i] != ' ' && v[i] != '\t') ++i;
          value = v.substr(b, i - b);
        }
        out.back().Params.emplace_back(LowerStr(name), value);
        continue;
      }
      // A new challenge: the scheme, then perhaps a bare token (token68).
      THttpChallenge c;
      c.Scheme = LowerStr(name);
      const size_t b = i;
      while (i < n && v[i] != ',' && v[i] != ' ' && v[i] != '\t') ++i;
      std::string t = v.substr(b, i - b);
      if (!t.empty() && t.find('=') != std::string::npos && t.find_first_not_of('=', t.find('=')) != std::string::npos) {
        i = b;  // it was name=value: the first parameter
      } else {
        c.Token = t;
      }
      out.push_back(std::move(c));
    }
  }
  return out;
}

std::string BasicAuthorization(const std::string& user, const std::string& password) {
  return "Basic " + Base64Encode(user + ":" + password);
}

std::string DigestAuthorization(const THttpChallenge& challenge, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, uint32_t nonceCount,
                                const std::string& cnonce) {
  const std::string realm = challenge.Param("realm");
  const std::string nonce = challenge.Param("nonce");
  const std::string opaque = challenge.Param("opaque");
  std::string algorithm = challenge.Param("algorithm");
  if (nonce.empty()) throw EHttpError(u"Digest challenge without a nonce");
  const std::string alg = LowerStr(algorithm);
  if (!alg.empty() && alg != "md5" && alg != "md5-sess")
    throw EHttpError(Utf8ToWide("Unsupported Digest algorithm \"" + algorithm.substr(0, 40) + "\""));
  // qop is a list; "auth" is answered, an offer of only "auth-int" is not
  // (a GET has no body to protect, but the server would still check it).
  const std::string qopList = challenge.Param("qop");
  bool qopAuth = false;
  if (!qopList.empty()) {
    size_t i = 0;
    while (i <= qopList.size()) {
      size_t j = qopList.find(',', i);
      if (j == std::string::npos) j = qopList.size();
      if (LowerStr(TrimOws(qopList.substr(i, j - i))) == "auth") qopAuth = true;
      i = j + 1;
    }
    if (!qopAuth) throw EHttpError(u"Digest challenge offers no qop we can answer");
  }
  std::string ha1 = Md5Hex(user + ":" + realm + ":" + password);
  if (alg == "md5-sess") ha1 = Md5Hex(ha1 + ":" + nonce + ":" + cnonce);
  const std::string ha2 = Md5Hex(method + ":" + uri);
  char nc[9];
  std::snprintf(nc, sizeof nc, "%08x", nonceCount);
  const std::string response = qopAuth ? Md5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2)
                                       : Md5Hex(ha1 + ":" + nonce + ":" + ha2);
  std::string r = "Digest username=" + Quoted(user) + ", realm=" + Quoted(realm) + ", nonce=" + Quoted(nonce) +
                  ", uri=" + Quoted(uri);
  if (!algorithm.empty()) r += ", algorithm=" + algorithm;
  r += ", response=" + Quoted(response);
  if (!opaque.empty()) r += ", opaque=" + Quoted(opaque);
  if (qopAuth) r += std::string(", qop=auth, nc=") + nc + ", cnonce=" + Quoted(cnonce);
  return r;
}
