// The TLS client layer of the HTTP client: OpenSSL in the native build
// (QvTls_posix.cpp), Schannel through SSPI on Windows (QvTls_win.cpp).
#pragma once

#include <memory>
#include <string>

#include "QvSocket.h"

// Negotiates TLS as a client over transport, which the returned channel
// owns; serverName goes into the SNI extension (not for a literal address).
// The highest version both ends support is used. The server certificate is
// not verified: the installer trusts what it downloads through the digest
// pinned in the online setup, not through the certificate, and publishers'
// download servers often carry certificates that old systems cannot verify.
// Failures raise ENetError naming the TLS layer's reason.
std::unique_ptr<TQvByteChannel> StartTlsClient(std::unique_ptr<TQvByteChannel> transport, const std::string& serverName);
