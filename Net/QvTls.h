// The TLS client layer of the HTTP client: OpenSSL in the native build
// (QvTls_posix.cpp), Schannel through SSPI on Windows (QvTls_win.cpp).
#pragma once

#include <memory>
#include <string>

#include "QvSocket.h"

// Negotiates TLS as a client over transport, which the returned channel
// owns; serverName goes into the SNI extension (not for a literal address).
// The highest version both ends support is used. With verify, the server's
// certificate must chain to a root the system trusts and be issued for
// serverName (a host name or a literal address); without, any certificate
// is taken, for a download that a pinned digest protects instead.
// Failures raise ENetError naming the TLS layer's reason.
std::unique_ptr<TQvByteChannel> StartTlsClient(std::unique_ptr<TQvByteChannel> transport, const std::string& serverName,
                                               bool verify);
