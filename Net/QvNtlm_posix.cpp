// The native build has no security provider to do NTLM with.
#include "QvNtlm.h"

std::unique_ptr<TQvNtlmClient> NewNtlmClient(const std::string&, const std::string&) { return nullptr; }
