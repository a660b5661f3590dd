// TLS for Windows through Schannel (SSPI): the handshake, then records
// encrypted and decrypted over the byte channel beneath, so its time-outs
// hold inside TLS as well.
#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "QvSecurityApi_win.h"
#include "QvSysUtils.h"
#include "QvTls.h"
#include "QvWinApi.h"

namespace {

class TCredentials {
public:
  TCredentials() { SecInvalidateHandle(&FHandle); }
  ~TCredentials() { if (SecIsValidHandle(&FHandle)) QvSspi().FreeCredentialsHandle(&FHandle); }
  TCredentials(const TCredentials&) = delete;
  TCredentials& operator=(const TCredentials&) = delete;
  CredHandle* Get() { return &FHandle; }

private:
  CredHandle FHandle;
};

class TContext {
public:
  TContext() { SecInvalidateHandle(&FHandle); }
  ~TContext() { if (SecIsValidHandle(&FHandle)) QvSspi().DeleteSecurityContext(&FHandle); }
  TContext(const TContext&) = delete;
  TContext& operator=(const TContext&) = delete;
  CtxtHandle* Get() { return &FHandle; }
  bool Valid() { return SecIsValidHandle(&FHandle); }

private:
  CtxtHandle FHandle;
};

// Output tokens that SSPI allocated for us.
struct TSspiBuffer {
  SecBuffer Buffer = {0, SECBUFFER_TOKEN, nullptr};
  ~TSspiBuffer() { if (Buffer.pvBuffer) QvSspi().FreeContextBuffer(Buffer.pvBuffer); }
};

WideString StatusText(long status) {
  WideString text = SysErrorMessage(static_cast<int>(status));
  if (text.empty()) text = u"0x" + IntToHex(static_cast<uint32_t>(status), 8);
  return text;
}

[[noreturn]] void Fail(const char* what, SECURITY_STATUS status) {
  throw ENetError(Utf8ToWide(what) + u": " + StatusText(status));
}

// The reason in words for what the check of a certificate finds most
// often, the same on every system (Wine has no texts for these codes).
WideString CertificateText(long status) {
  switch (static_cast<unsigned long>(status)) {
    case static_cast<unsigned long>(CERT_E_UNTRUSTEDROOT):
    case static_cast<unsigned long>(SEC_E_UNTRUSTED_ROOT):
      return u"its root is not one this system trusts";
    case static_cast<unsigned long>(CERT_E_CHAINING):
      return u"it does not lead to a root this system trusts";
    case static_cast<unsigned long>(CERT_E_CN_NO_MATCH):
    case static_cast<unsigned long>(SEC_E_WRONG_PRINCIPAL):
      return u"it was issued for another host";
    case static_cast<unsigned long>(CERT_E_EXPIRED):
    case static_cast<unsigned long>(SEC_E_CERT_EXPIRED):
      return u"it has expired or is not yet valid";
    case static_cast<unsigned long>(CERT_E_WRONG_USAGE):
      return u"it is not meant for a server";
    default:
      return StatusText(status);
  }
}

[[noreturn]] void Untrusted(const WideString& host, long status) {
  throw ENetError(u"The certificate of " + host + u" is not trusted: " + CertificateText(status) + u" (0x" +
                  IntToHex(static_cast<uint32_t>(status), 8) + u")");
}

// What Schannel answers when it refused the server's certificate itself.
bool IsCertificateStatus(SECURITY_STATUS s) {
  return s == SEC_E_UNTRUSTED_ROOT || s == SEC_E_WRONG_PRINCIPAL || s == SEC_E_CERT_EXPIRED || s == SEC_E_CERT_UNKNOWN ||
         s == static_cast<SECURITY_STATUS>(CERT_E_UNTRUSTEDROOT) || s == static_cast<SECURITY_STATUS>(CERT_E_CN_NO_MATCH) ||
         s == static_cast<SECURITY_STATUS>(CERT_E_EXPIRED) || s == static_cast<SECURITY_STATUS>(CERT_E_CHAINING);
}

struct TCertFree {
  void operator()(const CERT_CONTEXT* c) const { QvCrypt().FreeCertificateContext(c); }
};
struct TChainFree {
  void operator()(const CERT_CHAIN_CONTEXT* c) const { QvCrypt().FreeCertificateChain(c); }
};

// The system's own check of a server: the chain to a root it trusts, for
// server authentication, issued for host. Schannel makes it during the
// handshake on Windows; made again here, it also holds where a provider
// skips it and for a literal address, which Schannel gets no name for.
void VerifyServerCertificate(CtxtHandle* context, const WideString& host) {
  const CERT_CONTEXT* raw = nullptr;
  const SECURITY_STATUS s = QvSspi().QueryContextAttributesW(context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw);
  if (s != SEC_E_OK || !raw) Untrusted(host, s != SEC_E_OK ? s : SEC_E_CERT_UNKNOWN);
  const std::unique_ptr<const CERT_CONTEXT, TCertFree> cert(raw);
  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA chainPara = {};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  const CERT_CHAIN_CONTEXT* rawChain = nullptr;
  if (!QvCrypt().GetCertificateChain(nullptr, cert.get(), nullptr, cert->hCertStore, &chainPara, 0, nullptr, &rawChain))
    Untrusted(host, static_cast<long>(::GetLastError()));
  const std::unique_ptr<const CERT_CHAIN_CONTEXT, TChainFree> chain(rawChain);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = const_cast<wchar_t*>(W(host));
  CERT_CHAIN_POLICY_PARA policy = {};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof status;
  if (!QvCrypt().VerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status))
    Untrusted(host, static_cast<long>(::GetLastError()));
  if (status.dwError != 0) Untrusted(host, static_cast<long>(status.dwError));
}

class TSchannelChannel : public TQvByteChannel {
public:
  // target is the name for SNI (empty for a literal address), host what
  // the certificate must name.
  TSchannelChannel(std::unique_ptr<TQvByteChannel> transport, const std::string& target, const std::string& host, bool verify)
      : FTransport(std::move(transport)), FTarget(Utf8ToWide(target)), FHost(Utf8ToWide(host)), FVerify(verify) {
    AcquireCredentials();
    try {
      Handshake();
    } catch (const ENetError&) {
      if (FVerify && IsCertificateStatus(FLastStatus)) Untrusted(FHost, FLastStatus);
      throw;
    }
    if (FVerify) VerifyServerCertificate(FContext.Get(), FHost);
    const SECURITY_STATUS s = QvSspi().QueryContextAttributesW(FContext.Get(), SECPKG_ATTR_STREAM_SIZES, &FSizes);
    if (s != SEC_E_OK) Fail("TLS stream sizes", s);
  }

  void SendAll(const char* data, size_t size) override {
    // Header, data and trailer in one block, sent as one piece of their
    // summed sizes: the form every Schannel (Wine's included) accepts.
    std::vector<char> record(FSizes.cbHeader + FSizes.cbMaximumMessage + FSizes.cbTrailer);
    while (size > 0) {
      const size_t n = std::min<size_t>(size, FSizes.cbMaximumMessage);
      std::memcpy(record.data() + FSizes.cbHeader, data, n);
      SecBuffer b[4] = {{FSizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                        {static_cast<unsigned long>(n), SECBUFFER_DATA, record.data() + FSizes.cbHeader},
                        {FSizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + FSizes.cbHeader + n},
                        {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc = {SECBUFFER_VERSION, 4, b};
      const SECURITY_STATUS s = QvSspi().EncryptMessage(FContext.Get(), 0, &desc, 0);
      if (s != SEC_E_OK) Fail("TLS encryption failed", s);
      FTransport->SendAll(record.data(), b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer);
      data += n;
      size -= n;
    }
  }

  size_t Receive(char* buffer, size_t size) override {
    for (;;) {
      if (FPlainPos < FPlain.size()) {
        const size_t n = std::min(size, FPlain.size() - FPlainPos);
        std::memcpy(buffer, FPlain.data() + FPlainPos, n);
        FPlainPos += n;
        return n;
      }
      if (FClosed) return 0;
      if (FIn.empty()) {
        // The peer may close without close_notify; the HTTP framing above
        // tells whether anything was lost.
        if (!ReadMore()) return 0;
        continue;
      }
      SecBuffer b[4] = {{static_cast<unsigned long>(FIn.size()), SECBUFFER_DATA, FIn.data()},
                        {0, SECBUFFER_EMPTY, nullptr},
                        {0, SECBUFFER_EMPTY, nullptr},
                        {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc = {SECBUFFER_VERSION, 4, b};
      const SECURITY_STATUS s = QvSspi().DecryptMessage(FContext.Get(), &desc, 0, nullptr);
      if (s == SEC_E_INCOMPLETE_MESSAGE) {
        if (!ReadMore()) throw ENetError(u"Connection closed inside a TLS record");
        continue;
      }
      if (s == SEC_I_CONTEXT_EXPIRED) {
        FClosed = true;  // close_notify
        continue;
      }
      if (s != SEC_E_OK && s != SEC_I_RENEGOTIATE) Fail("TLS receive failed", s);
      FPlain.clear();
      FPlainPos = 0;
      std::vector<char> extra;
      for (const SecBuffer& x : b) {
        if (x.BufferType == SECBUFFER_DATA && x.pvBuffer)
          FPlain.assign(static_cast<char*>(x.pvBuffer), static_cast<char*>(x.pvBuffer) + x.cbBuffer);
        if (x.BufferType == SECBUFFER_EXTRA && x.cbBuffer)
          extra.assign(FIn.end() - x.cbBuffer, FIn.end());
      }
      FIn.swap(extra);
      if (s == SEC_I_RENEGOTIATE) {
        // Post-handshake messages (TLS 1.3 tickets, a key update, a
        // renegotiation) go back through the handshake call. Wine's
        // Schannel never asks for this, so only Windows runs this path.
        ContinueHandshake();
        continue;
      }
      // A close_notify shows as a record without data on some providers.
      if (FPlain.empty() && FIn.empty()) FClosed = true;
    }
  }

private:
  void AcquireCredentials() {
    SCHANNEL_CRED cred = {};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // Schannel checks the server's certificate itself, against the
    // system's roots and the target name (no revocation lists: they need
    // more servers than the one asked); unverified, it takes any. No
    // client certificate is ever offered.
    cred.dwFlags = (FVerify ? SCH_CRED_AUTO_CRED_VALIDATION : SCH_CRED_MANUAL_CRED_VALIDATION) | SCH_CRED_NO_DEFAULT_CREDS;
    // TLS 1.0 to 1.2 are asked for by name, since Windows 7 leaves 1.1 and
    // 1.2 off for clients by default; the system then takes the highest
    // that both ends know. A system that knows none of them by name gets
    // its own defaults.
    cred.grbitEnabledProtocols = SP_PROT_TLS1_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT;
    TimeStamp expiry;
    SECURITY_STATUS s = QvSspi().AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                                    &cred, nullptr, nullptr, FCredentials.Get(), &expiry);
    if (s != SEC_E_OK) {
      cred.grbitEnabledProtocols = 0;
      s = QvSspi().AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &cred,
                                      nullptr, nullptr, FCredentials.Get(), &expiry);
    }
    if (s != SEC_E_OK) Fail("TLS is not available", s);
  }

  static constexpr unsigned long kFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                          ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
  unsigned long Flags() const { return FVerify ? kFlags : kFlags | ISC_REQ_MANUAL_CRED_VALIDATION; }

  bool ReadMore() {
    char chunk[16 * 1024];
    const size_t n = FTransport->Receive(chunk, sizeof chunk);
    if (n == 0) return false;
    if (FIn.size() + n > 1024 * 1024) throw ENetError(u"TLS record too large");
    FIn.insert(FIn.end(), chunk, chunk + n);
    return true;
  }

  // One call of the handshake with what FIn holds; sends what it answers.
  SECURITY_STATUS Step(bool first) {
    SecBuffer in[2] = {{static_cast<unsigned long>(FIn.size()), SECBUFFER_TOKEN, FIn.empty() ? nullptr : FIn.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
    TSspiBuffer out;
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &out.Buffer};
    unsigned long attributes = 0;
    TimeStamp expiry;
    const SECURITY_STATUS s = QvSspi().InitializeSecurityContextW(
        FCredentials.Get(), first ? nullptr : FContext.Get(), FTarget.empty() ? nullptr : const_cast<wchar_t*>(W(FTarget)),
        Flags(), 0, 0, first ? nullptr : &inDesc, 0, FContext.Get(), &outDesc, &attributes, &expiry);
    FLastStatus = s;
    if (s == SEC_E_INCOMPLETE_MESSAGE) return s;
    if (out.Buffer.cbBuffer && out.Buffer.pvBuffer)
      FTransport->SendAll(static_cast<const char*>(out.Buffer.pvBuffer), out.Buffer.cbBuffer);
    if (!first) {
      if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer)
        FIn.erase(FIn.begin(), FIn.end() - in[1].cbBuffer);
      else
        FIn.clear();
    }
    return s;
  }

  void Handshake() {
    SECURITY_STATUS s = Step(true);
    if (s != SEC_I_CONTINUE_NEEDED) Fail("TLS handshake failed", s);
    ContinueHandshake();
  }

  void ContinueHandshake() {
    for (int rounds = 0; rounds < 64; ++rounds) {
      if (FIn.empty() && !ReadMore()) throw ENetError(u"TLS handshake failed: connection closed");
      const SECURITY_STATUS s = Step(false);
      if (s == SEC_E_OK) return;
      if (s == SEC_E_INCOMPLETE_MESSAGE) {
        if (!ReadMore()) throw ENetError(u"TLS handshake failed: connection closed");
        continue;
      }
      // A server that asks for a client certificate gets none.
      if (s == SEC_I_CONTINUE_NEEDED || s == SEC_I_INCOMPLETE_CREDENTIALS) continue;
      Fail("TLS handshake failed", s);
    }
    throw ENetError(u"TLS handshake failed: too many rounds");
  }

  std::unique_ptr<TQvByteChannel> FTransport;
  WideString FTarget;
  WideString FHost;
  bool FVerify;
  SECURITY_STATUS FLastStatus = SEC_E_OK;  // of the last handshake step
  TCredentials FCredentials;
  TContext FContext;
  SecPkgContext_StreamSizes FSizes = {};
  std::vector<char> FIn;     // received, not yet decrypted
  std::vector<char> FPlain;  // decrypted, not yet handed out
  size_t FPlainPos = 0;
  bool FClosed = false;
};

}  // namespace

std::unique_ptr<TQvByteChannel> StartTlsClient(std::unique_ptr<TQvByteChannel> transport, const std::string& serverName,
                                               bool verify) {
  // A literal address is no server name.
  std::string name = serverName;
  if (name.find_first_not_of("0123456789.") == std::string::npos || name.find(':') != std::string::npos) name.clear();
  return std::unique_ptr<TQvByteChannel>(new TSchannelChannel(std::move(transport), name, serverName, verify));
}
