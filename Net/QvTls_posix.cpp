// TLS for the native build through OpenSSL. The TLS engine talks to the
// byte channel beneath it through a BIO of our own, so the channel's
// time-outs and errors hold inside the handshake and the tunnel alike.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <climits>
#include <cstring>

#include "QvSysUtils.h"
#include "QvTls.h"

namespace {

struct TSslCtxFree {
  void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
struct TSslFree {
  void operator()(SSL* s) const { SSL_free(s); }
};

// The channel below and the first error it raised, which the BIO cannot
// carry through OpenSSL's C frames and is raised again afterwards.
struct TBioState {
  TQvByteChannel* Channel = nullptr;
  std::string Error;
  bool Failed = false;
};

int BioWrite(BIO* bio, const char* data, int size) {
  auto* st = static_cast<TBioState*>(BIO_get_data(bio));
  try {
    st->Channel->SendAll(data, static_cast<size_t>(size));
    return size;
  } catch (const std::exception& e) {
    if (!st->Failed) st->Error = e.what();
    st->Failed = true;
    return -1;
  }
}

int BioRead(BIO* bio, char* buffer, int size) {
  auto* st = static_cast<TBioState*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  try {
    const size_t n = st->Channel->Receive(buffer, static_cast<size_t>(size));
    if (n == 0) BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    return static_cast<int>(n);
  } catch (const std::exception& e) {
    if (!st->Failed) st->Error = e.what();
    st->Failed = true;
    return -1;
  }
}

long BioCtrl(BIO* bio, int cmd, long, void*) {
  switch (cmd) {
    case BIO_CTRL_FLUSH: return 1;
    case BIO_CTRL_EOF: return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) ? 1 : 0;
    default: return 0;
  }
}

BIO_METHOD* ChannelBioMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qv channel");
    BIO_meth_set_write(m, BioWrite);
    BIO_meth_set_read(m, BioRead);
    BIO_meth_set_ctrl(m, BioCtrl);
    BIO_meth_set_create(m, [](BIO* b) { BIO_set_init(b, 1); return 1; });
    return m;
  }();
  return method;
}

std::string SslErrorText() {
  std::string r;
  while (const unsigned long e = ERR_get_error()) {
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    if (!r.empty()) r += "; ";
    r += buf;
  }
  return r;
}

class TOpenSslChannel : public TQvByteChannel {
public:
  TOpenSslChannel(std::unique_ptr<TQvByteChannel> transport, const std::string& serverName, bool verify)
      : FTransport(std::move(transport)) {
    FState.Channel = FTransport.get();
    // TLS_client_method negotiates the highest version both ends know.
    FCtx.reset(SSL_CTX_new(TLS_client_method()));
    if (!FCtx) throw ENetError(Utf8ToWide("TLS setup failed: " + SslErrorText()));
    if (verify) {
      // The system's trusted roots (where OPENSSL_DIR and SSL_CERT_FILE
      // point, as for every OpenSSL program).
      if (SSL_CTX_set_default_verify_paths(FCtx.get()) != 1)
        throw ENetError(Utf8ToWide("The system's trusted certificates cannot be read: " + SslErrorText()));
      SSL_CTX_set_verify(FCtx.get(), SSL_VERIFY_PEER, nullptr);
    } else {
      SSL_CTX_set_verify(FCtx.get(), SSL_VERIFY_NONE, nullptr);
    }
    FSsl.reset(SSL_new(FCtx.get()));
    if (!FSsl) throw ENetError(Utf8ToWide("TLS setup failed: " + SslErrorText()));
    BIO* bio = BIO_new(ChannelBioMethod());
    BIO_set_data(bio, &FState);
    SSL_set_bio(FSsl.get(), bio, bio);
    const bool literal = serverName.find_first_not_of("0123456789.") == std::string::npos || serverName.find(':') != std::string::npos;
    // SNI carries host names only, never a literal address.
    if (!serverName.empty() && !literal) SSL_set_tlsext_host_name(FSsl.get(), serverName.c_str());
    if (verify) {
      // The certificate must name the host the URL names: a DNS name for
      // a host name, an IP address entry for a literal one.
      X509_VERIFY_PARAM* param = SSL_get0_param(FSsl.get());
      const int named = literal ? X509_VERIFY_PARAM_set1_ip_asc(param, serverName.c_str())
                                : X509_VERIFY_PARAM_set1_host(param, serverName.c_str(), serverName.size());
      if (serverName.empty() || named != 1) throw ENetError(Utf8ToWide("Cannot verify a server named \"" + serverName + "\""));
    }
    const int rc = SSL_connect(FSsl.get());
    if (rc != 1) {
      const long result = SSL_get_verify_result(FSsl.get());
      if (verify && result != X509_V_OK && !FState.Failed) {
        ERR_clear_error();
        throw ENetError(Utf8ToWide("The certificate of " + serverName + " is not trusted: " +
                                   X509_verify_cert_error_string(result)));
      }
      Raise("TLS handshake failed", rc);
    }
  }

  void SendAll(const char* data, size_t size) override {
    while (size > 0) {
      const int chunk = static_cast<int>(std::min<size_t>(size, INT_MAX));
      const int n = SSL_write(FSsl.get(), data, chunk);
      if (n <= 0) Raise("TLS send failed", n);
      data += n;
      size -= static_cast<size_t>(n);
    }
  }

  size_t Receive(char* buffer, size_t size) override {
    const int n = SSL_read(FSsl.get(), buffer, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    if (n > 0) return static_cast<size_t>(n);
    const int err = SSL_get_error(FSsl.get(), n);
    if (err == SSL_ERROR_ZERO_RETURN) return 0;  // close_notify
    // A peer that closes without close_notify: the body framing above
    // decides whether anything was lost (a Content-Length or chunked body
    // cut short fails there), as browsers treat it.
    if (!FState.Failed && err == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;
    if (!FState.Failed && err == SSL_ERROR_SSL && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
      ERR_clear_error();
      return 0;
    }
    Raise("TLS receive failed", n);
  }

private:
  [[noreturn]] void Raise(const char* what, int rc) {
    if (FState.Failed) throw ENetError(Utf8ToWide(FState.Error));
    const int err = SSL_get_error(FSsl.get(), rc);
    std::string detail = SslErrorText();
    if (detail.empty()) detail = err == SSL_ERROR_SYSCALL ? "connection closed" : "error " + std::to_string(err);
    throw ENetError(Utf8ToWide(std::string(what) + ": " + detail));
  }

  std::unique_ptr<TQvByteChannel> FTransport;
  TBioState FState;
  std::unique_ptr<SSL_CTX, TSslCtxFree> FCtx;
  std::unique_ptr<SSL, TSslFree> FSsl;
};

}  // namespace

std::unique_ptr<TQvByteChannel> StartTlsClient(std::unique_ptr<TQvByteChannel> transport, const std::string& serverName,
                                               bool verify) {
  ERR_clear_error();
  return std::unique_ptr<TQvByteChannel>(new TOpenSslChannel(std::move(transport), serverName, verify));
}
