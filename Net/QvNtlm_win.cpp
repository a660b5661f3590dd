// NTLM through the system's security provider, with the proxy user's
// explicit credentials ("DOMAIN\user" or "user").
#define SECURITY_WIN32
#include <windows.h>
#include <security.h>
#include <sspi.h>

#include "QvHttpWire.h"
#include "QvNtlm.h"
#include "QvSecurityApi_win.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"

namespace {

class TSspiNtlmClient : public TQvNtlmClient {
public:
  TSspiNtlmClient() {
    SecInvalidateHandle(&FCredentials);
    SecInvalidateHandle(&FContext);
  }
  ~TSspiNtlmClient() override {
    if (SecIsValidHandle(&FContext)) QvSspi().DeleteSecurityContext(&FContext);
    if (SecIsValidHandle(&FCredentials)) QvSspi().FreeCredentialsHandle(&FCredentials);
  }

  // False when the system has no NTLM package (Wine without winbind).
  bool Acquire(const std::string& user, const std::string& password) {
    const WideString full = Utf8ToWide(user);
    const size_t slash = full.find(u'\\');
    FDomain = slash == WideString::npos ? WideString() : full.substr(0, slash);
    FUser = slash == WideString::npos ? full : full.substr(slash + 1);
    FPassword = Utf8ToWide(password);
    SEC_WINNT_AUTH_IDENTITY_W id = {};
    id.User = reinterpret_cast<unsigned short*>(const_cast<char16_t*>(FUser.c_str()));
    id.UserLength = static_cast<unsigned long>(FUser.size());
    id.Domain = reinterpret_cast<unsigned short*>(const_cast<char16_t*>(FDomain.c_str()));
    id.DomainLength = static_cast<unsigned long>(FDomain.size());
    id.Password = reinterpret_cast<unsigned short*>(const_cast<char16_t*>(FPassword.c_str()));
    id.PasswordLength = static_cast<unsigned long>(FPassword.size());
    id.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;
    TimeStamp expiry;
    return QvSspi().AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(L"NTLM"), SECPKG_CRED_OUTBOUND, nullptr, &id, nullptr,
                                       nullptr, &FCredentials, &expiry) == SEC_E_OK;
  }

  std::string Step(const std::string& challenge) override {
    std::string in = challenge.empty() ? std::string() : Base64Decode(challenge);
    SecBuffer inBuffer = {static_cast<unsigned long>(in.size()), SECBUFFER_TOKEN, in.empty() ? nullptr : &in[0]};
    SecBufferDesc inDesc = {SECBUFFER_VERSION, 1, &inBuffer};
    SecBuffer outBuffer = {0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &outBuffer};
    unsigned long attributes = 0;
    TimeStamp expiry;
    const bool first = !SecIsValidHandle(&FContext);
    const SECURITY_STATUS s = QvSspi().InitializeSecurityContextW(
        &FCredentials, first ? nullptr : &FContext, nullptr, ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_CONNECTION, 0,
        SECURITY_NATIVE_DREP, first ? nullptr : &inDesc, 0, &FContext, &outDesc, &attributes, &expiry);
    std::string token;
    if (outBuffer.pvBuffer) {
      token.assign(static_cast<const char*>(outBuffer.pvBuffer), outBuffer.cbBuffer);
      QvSspi().FreeContextBuffer(outBuffer.pvBuffer);
    }
    if ((s != SEC_E_OK && s != SEC_I_CONTINUE_NEEDED) || token.empty())
      throw EHttpError(u"NTLM authentication failed: 0x" + IntToHex(static_cast<uint32_t>(s), 8) + u" " +
                       SysErrorMessage(static_cast<int>(s)));
    return Base64Encode(token);
  }

private:
  CredHandle FCredentials;
  CtxtHandle FContext;
  WideString FUser, FDomain, FPassword;
};

}  // namespace

std::unique_ptr<TQvNtlmClient> NewNtlmClient(const std::string& user, const std::string& password) {
  std::unique_ptr<TSspiNtlmClient> c(new TSspiNtlmClient());
  if (!c->Acquire(user, password)) return nullptr;
  return std::unique_ptr<TQvNtlmClient>(std::move(c));
}
