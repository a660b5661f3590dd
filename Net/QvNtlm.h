// NTLM proxy authentication through the operating system's security
// provider. Only Windows has one; elsewhere there is no NTLM client and a
// proxy that offers nothing else cannot be passed.
#pragma once

#include <memory>
#include <string>

class TQvNtlmClient {
public:
  virtual ~TQvNtlmClient() = default;
  // The next message to send, base64 without the scheme: the negotiate
  // message for an empty challenge, the authenticate message for the
  // server's base64 challenge. Raises EHttpError when the provider fails.
  virtual std::string Step(const std::string& challenge) = 0;
};

// A client for the given credentials ("DOMAIN\user" or "user"); null where
// the system has no NTLM provider.
std::unique_ptr<TQvNtlmClient> NewNtlmClient(const std::string& user, const std::string& password);
