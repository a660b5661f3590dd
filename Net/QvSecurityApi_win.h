// The system's security libraries for the TLS and NTLM layers: the SSPI
// function table of secur32 and the certificate calls of crypt32.
//
// Neither DLL is one that Windows always takes from System32, and the
// installer runs elevated from folders anybody may have written to, so
// neither is imported: each is loaded on first use, by its full path in
// the system folder, and its functions are taken by name.
#pragma once

#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>
#include <security.h>
#include <sspi.h>

// The SSPI dispatch table (InitSecurityInterfaceW). Raises ENetError
// naming the library when it cannot be loaded.
const SecurityFunctionTableW& QvSspi();

struct TQvCryptApi {
  decltype(&::CertGetCertificateChain) GetCertificateChain;
  decltype(&::CertVerifyCertificateChainPolicy) VerifyCertificateChainPolicy;
  decltype(&::CertFreeCertificateChain) FreeCertificateChain;
  decltype(&::CertFreeCertificateContext) FreeCertificateContext;
};

// The certificate calls. Raises ENetError naming the library or the
// function that is missing.
const TQvCryptApi& QvCrypt();
