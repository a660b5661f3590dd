// TQvHttp: one GET with redirects, cookies, the process-wide proxy (plain,
// tunnelled for https, authenticated after a 407) and TLS (the server
// verified unless the caller trusts the content another way), over one
// kept-alive connection while the next request goes where the last did;
// within a bound for the body and a limit for the whole transfer.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <new>
#include <random>

#include "QvHttpWire.h"
#include "QvIndyUtils.h"
#include "QvNtlm.h"
#include "QvSocket.h"
#include "QvTls.h"

namespace {

TQvHttpCursorHooks& CursorHooks() {
  static TQvHttpCursorHooks hooks;
  return hooks;
}

constexpr int kMaxRedirects = 15;
constexpr int kMaxAuthAttempts = 3;
// A redirect or challenge body longer than this is not read through; the
// connection is dropped instead.
constexpr int64_t kMaxDrainBytes = 1024 * 1024;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

struct TProxySettings {
  bool Use = false;
  std::string Host;
  uint16_t Port = 0;
  std::string User, Password;
};

// A copy taken at the start of every Get, so settings written between two
// requests apply to the next one and never to half of one.
TProxySettings ReadProxySettings() {
  const TQvHttpProxy& p = HttpProxy();
  TProxySettings s;
  if (!p.Checked) return s;
  s.Use = true;
  // Host names are ASCII; UTF-8 keeps any other text intact to the
  // resolver, which then fails with the name in its message.
  s.Host = WideToUtf8(Trim(p.Address));
  if (s.Host.size() > 2 && s.Host.front() == '[' && s.Host.back() == ']') s.Host = s.Host.substr(1, s.Host.size() - 2);
  if (s.Host.empty()) throw EHttpError(u"The proxy is switched on but has no address");
  if (p.Port < 1 || p.Port > 65535) throw EHttpError(u"Invalid proxy port " + IntToStr(p.Port));
  s.Port = static_cast<uint16_t>(p.Port);
  // Credentials go out as UTF-8, the charset RFC 7617 names.
  s.User = WideToUtf8(p.UserName);
  s.Password = WideToUtf8(p.Password);
  return s;
}

std::string NewCnonce() {
  static std::atomic<uint32_t> counter{0};
  std::random_device rd;
  const uint64_t v = (static_cast<uint64_t>(rd()) << 32) ^ rd() ^
                     static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^ counter++;
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

// Answers the 407 challenges of one request (or one CONNECT). Digest is
// preferred over NTLM and NTLM over Basic, so the password crosses the
// wire in clear only when the proxy offers nothing else. A round counts
// from a fresh challenge; NTLM's second leg belongs to the round it
// continues. After three rounds that the proxy still refuses, the request
// fails.
class TProxyAuth {
public:
  explicit TProxyAuth(const TProxySettings& proxy) : FUser(proxy.User), FPassword(proxy.Password) {}

  std::string Answer(const THttpResponseHead& head, const std::string& method, const std::string& uri) {
    const std::vector<THttpChallenge> challenges = ParseChallenges(head.Values("Proxy-Authenticate"));
    if (FNtlm) {
      for (const THttpChallenge& c : challenges)
        if (c.Scheme == "ntlm" && !c.Token.empty()) {
          std::unique_ptr<TQvNtlmClient> ntlm = std::move(FNtlm);
          return "NTLM " + ntlm->Step(c.Token);
        }
      FNtlm.reset();  // the handshake broke off: a new round
    }
    if (FUser.empty()) throw EHttpError(u"The proxy requires authentication and no user name is set");
    if (++FRounds > kMaxAuthAttempts) throw EHttpError(u"Proxy authentication failed");
    const THttpChallenge* digest = nullptr;
    const THttpChallenge* basic = nullptr;
    bool ntlmOffered = false;
    for (const THttpChallenge& c : challenges) {
      if (c.Scheme == "digest" && !digest && DigestUsable(c)) digest = &c;
      if (c.Scheme == "basic" && !basic) basic = &c;
      if (c.Scheme == "ntlm") ntlmOffered = true;
    }
    if (digest) {
      // A new nonce starts its count again at 1.
      const std::string nonce = digest->Param("nonce");
      FNonceCount = nonce == FLastNonce ? FNonceCount + 1 : 1;
      FLastNonce = nonce;
      return DigestAuthorization(*digest, FUser, FPassword, method, uri, FNonceCount, NewCnonce());
    }
    if (ntlmOffered) {
      if (std::unique_ptr<TQvNtlmClient> ntlm = NewNtlmClient(FUser, FPassword)) {
        const std::string first = ntlm->Step(std::string());
        FNtlm = std::move(ntlm);
        return "NTLM " + first;
      }
    }
    if (basic) return BasicAuthorization(FUser, FPassword);
    throw EHttpError(u"The proxy offers no authentication scheme this client supports");
  }

private:
  static bool DigestUsable(const THttpChallenge& c) {
    try {
      DigestAuthorization(c, "", "", "GET", "/", 1, "0");
      return true;
    } catch (const EHttpError&) {
      return false;
    }
  }

  std::string FUser, FPassword;
  int FRounds = 0;
  std::string FLastNonce;
  uint32_t FNonceCount = 0;
  std::unique_ptr<TQvNtlmClient> FNtlm;
};

// Whether the connection may carry another request after this response.
bool KeepsAlive(const THttpResponseHead& head) {
  if (head.ListHas("Connection", "close") || head.ListHas("Proxy-Connection", "close")) return false;
  return head.MinorVersion >= 1 || head.ListHas("Connection", "keep-alive") || head.ListHas("Proxy-Connection", "keep-alive");
}

// Reads and drops a body that nobody wants (a redirect's, a challenge's);
// false when the connection cannot be used again after it.
bool DrainBody(THttpReader& reader, const THttpResponseHead& head, bool toConnect) {
  const THttpBodyFraming framing = BodyFramingOf(head, toConnect);
  if (framing.Kind == THttpBodyKind::hbToClose) return false;
  if (framing.Kind == THttpBodyKind::hbLength && framing.Length > kMaxDrainBytes) return false;
  reader.ReadBody(framing, kMaxDrainBytes, [](const char*, size_t) {}, nullptr);
  return KeepsAlive(head);
}

}  // namespace

void SetHttpCursorHooks(const TQvHttpCursorHooks& hooks) { CursorHooks() = hooks; }

struct TQvHttp::TTransport {
  int ConnectTimeoutMs = 60000;
  int ReadTimeoutMs = 60000;
  int TransferLimitMs = 0;
  bool Verify = true;
  THttpCookieJar Cookies;
  // The end of the current Get, which every connection it opens obeys;
  // it outlives them.
  TQvTransferDeadline Deadline;
  // The open connection, what it leads to, and the reader on it.
  std::unique_ptr<TQvByteChannel> Channel;
  std::unique_ptr<THttpReader> Reader;
  std::string ChannelKey;
  // The status of the last response head read, a CONNECT's included.
  int LastStatus = 0;

  void Drop() {
    Reader.reset();
    Channel.reset();
    ChannelKey.clear();
  }

  std::unique_ptr<TQvByteChannel> OpenTcp(const std::string& host, uint16_t port) {
    std::unique_ptr<TQvTcpSocket> s = TQvTcpSocket::Connect(host, port, ConnectTimeoutMs, &Deadline);
    s->SetReadTimeout(ReadTimeoutMs);
    s->SetDeadline(&Deadline);
    return std::unique_ptr<TQvByteChannel>(std::move(s));
  }

  // CONNECT through the proxy to target, answering its challenges; the
  // returned channel is the open tunnel.
  std::unique_ptr<TQvByteChannel> Tunnel(const THttpUrl& target, const TProxySettings& proxy) {
    std::unique_ptr<TQvByteChannel> ch = OpenTcp(proxy.Host, proxy.Port);
    TProxyAuth auth(proxy);
    std::vector<std::string> extra;
    for (;;) {
      THttpReader reader(*ch);
      const std::string request = BuildConnectRequest(target, extra);
      ch->SendAll(request.data(), request.size());
      const THttpResponseHead head = reader.ReadHead();
      LastStatus = head.Status;
      if (head.Status >= 200 && head.Status < 300) {
        // Nothing may follow the answer before our own TLS hello.
        if (reader.Pending() != 0) throw EHttpError(u"The proxy sent data into the tunnel before it was used");
        return ch;
      }
      if (head.Status != 407)
        throw EHttpError(Utf8ToWide("The proxy refused the tunnel to " + target.HostPort() + " with status " +
                                    std::to_string(head.Status)));
      extra = {"Proxy-Authorization: " + auth.Answer(head, "CONNECT", target.HostPort())};
      if (!DrainBody(reader, head, true)) ch = OpenTcp(proxy.Host, proxy.Port);
    }
  }

  // Opens a connection for url unless the open one leads there; true when
  // the connection is new (a failure on it is not a stale keep-alive).
  bool Connect(const THttpUrl& url, const TProxySettings& proxy) {
    std::string key;
    if (!proxy.Use) key = url.Scheme + " " + url.HostPort();
    else if (url.IsHttps()) key = "tunnel " + proxy.Host + ":" + std::to_string(proxy.Port) + " " + url.HostPort();
    else key = "proxy " + proxy.Host + ":" + std::to_string(proxy.Port);
    // A connection whose server was not verified serves no request that
    // asks for a verified one.
    if (url.IsHttps() && Verify) key += " verified";
    if (Channel && key == ChannelKey) return false;
    Drop();
    std::unique_ptr<TQvByteChannel> ch =
        proxy.Use && url.IsHttps() ? Tunnel(url, proxy) : OpenTcp(proxy.Use ? proxy.Host : url.Host, proxy.Use ? proxy.Port : url.Port);
    if (url.IsHttps()) ch = StartTlsClient(std::move(ch), url.Host, Verify);
    Channel = std::move(ch);
    Reader.reset(new THttpReader(*Channel));
    ChannelKey = key;
    return true;
  }

  // Sends the GET for url and reads the head of its final answer, going
  // through the proxy's challenges. The body waits on Reader.
  THttpResponseHead SendGet(const THttpUrl& url, const TProxySettings& proxy) {
    TProxyAuth auth(proxy);
    std::string authorization;
    bool retried = false;
    for (;;) {
      const bool fresh = Connect(url, proxy);
      std::vector<std::string> extra;
      const std::string cookies = Cookies.HeaderFor(url);
      if (!cookies.empty()) extra.push_back("Cookie: " + cookies);
      if (!authorization.empty()) extra.push_back("Proxy-Authorization: " + authorization);
      const std::string request = BuildGetRequest(url, proxy.Use && !url.IsHttps(), extra);
      THttpResponseHead head;
      const uint64_t before = Reader->ReceivedBytes();
      try {
        Channel->SendAll(request.data(), request.size());
        head = Reader->ReadHead();
      } catch (const ENetError&) {
        // A kept-alive connection that the server closed meanwhile fails
        // before any byte of an answer: once, a new connection is tried.
        if (fresh || retried || Reader->ReceivedBytes() != before) throw;
        retried = true;
        Drop();
        continue;
      }
      LastStatus = head.Status;
      const bool proxyChallenge = head.Status == 407 && proxy.Use && !url.IsHttps();
      // A proxy's own answer sets no cookies for the server behind it.
      if (!proxyChallenge)
        for (const std::string& c : head.Values("Set-Cookie")) Cookies.Store(url, c);
      if (proxyChallenge) {
        authorization = auth.Answer(head, "GET", url.ToString());
        if (!DrainBody(*Reader, head, false)) Drop();
        continue;
      }
      return head;
    }
  }
};

TQvHttp::TQvHttp() : FTransport(new TTransport()), FResponseStream(new TMemoryStream()) {}

TQvHttp::~TQvHttp() = default;

void TQvHttp::SetConnectTimeout(int32_t Milliseconds) { FTransport->ConnectTimeoutMs = Milliseconds; }

void TQvHttp::SetReadTimeout(int32_t Milliseconds) { FTransport->ReadTimeoutMs = Milliseconds; }

void TQvHttp::SetTransferLimit(int32_t Milliseconds) { FTransport->TransferLimitMs = Milliseconds; }

void TQvHttp::SetMaxBodySize(int64_t Bytes) { FMaxBodySize = std::max<int64_t>(Bytes, 0); }

void TQvHttp::SetVerifyServer(bool Verify) { FTransport->Verify = Verify; }

bool TQvHttp::Get(const WideString& Url) {
  FResponseStream->Clear();
  // Memory cannot hold more than a string can: a larger announced body
  // fails before the first byte instead of when the allocation does.
  const int64_t maxBody = static_cast<int64_t>(
      std::min<uint64_t>(std::string().max_size(), static_cast<uint64_t>(std::numeric_limits<int64_t>::max())));
  const bool ok = GetInto(Url, *FResponseStream, std::min(maxBody, FMaxBodySize));
  FResponseStream->SetPosition(0);
  return ok;
}

bool TQvHttp::Get(const WideString& Url, TStream& Dest) {
  return GetInto(Url, Dest, FMaxBodySize);
}

bool TQvHttp::GetInto(const WideString& url, TStream& dest, int64_t maxBody) {
  const TQvHttpCursorHooks hooks = CursorHooks();
  const bool onMainThread = hooks.IsMainThread && hooks.GetCursor && hooks.SetCursor && hooks.IsMainThread();
  if (onMainThread) {
    FSavedCursor = hooks.GetCursor();
    hooks.SetCursor(kHttpBusyCursor);
  }
  FTransport->LastStatus = 0;
  FLastError.clear();
  bool ok = false;
  try {
    FTransport->Deadline.Start(FTransport->TransferLimitMs);
    const TProxySettings proxy = ReadProxySettings();
    // Non-ASCII in a URL goes out as percent-encoded UTF-8, what servers
    // expect of an IRI, rather than in a local code page.
    THttpUrl target = ParseHttpUrl(WideToUtf8(url));
    for (int redirects = 0;; ++redirects) {
      const THttpResponseHead head = FTransport->SendGet(target, proxy);
      if (IsRedirect(head.Status) && head.Has("Location")) {
        if (redirects >= kMaxRedirects) throw EHttpError(u"Too many redirects");
        const THttpUrl next = ResolveHttpUrl(target, head.Value("Location"));
        // What a verified server sends must not continue where anybody on
        // the way can change it.
        if (FTransport->Verify && target.IsHttps() && !next.IsHttps())
          throw EHttpError(Utf8ToWide("Refused the redirect from https to the unencrypted " + next.ToString()));
        if (!DrainBody(*FTransport->Reader, head, false)) FTransport->Drop();
        target = next;
        continue;
      }
      if (head.Status < 200 || head.Status > 299) throw EHttpError(u"HTTP status " + IntToStr(head.Status));
      const THttpBodyFraming framing = BodyFramingOf(head, false);
      bool begun = false;
      try {
        if (OnWorkBegin) OnWorkBegin(this, wmRead, framing.Kind == THttpBodyKind::hbLength ? framing.Length : 0);
        begun = true;
        FTransport->Reader->ReadBody(
            framing, maxBody, [&dest](const char* data, size_t size) { dest.WriteBuffer(data, static_cast<int64_t>(size)); },
            [this](int64_t done) {
              if (OnWork) OnWork(this, wmRead, done);
            });
      } catch (...) {
        if (begun && OnWorkEnd) {
          try {
            OnWorkEnd(this, wmRead);
          } catch (...) {
          }
        }
        throw;
      }
      if (OnWorkEnd) OnWorkEnd(this, wmRead);
      if (framing.Kind == THttpBodyKind::hbToClose || !KeepsAlive(head)) FTransport->Drop();
      ok = true;
      break;
    }
  } catch (const Exception& e) {
    FLastError = e.Message();
  } catch (const std::bad_alloc&) {
    FLastError = u"Out of memory";
  } catch (const std::exception& e) {
    FLastError = Utf8ToWide(e.what());
  } catch (...) {
    FLastError = u"Unknown error";
  }
  FResponseCode = FTransport->LastStatus;
  if (!ok) FTransport->Drop();  // its state is unknown after a failure
  if (onMainThread) {
    try {
      hooks.SetCursor(FSavedCursor);
    } catch (...) {
    }
  }
  return ok;
}
