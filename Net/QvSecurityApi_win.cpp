#include "QvSecurityApi_win.h"

#include <string>

#include "QvSocket.h"
#include "QvSysUtils.h"

namespace {

// What a load found: the module, or the reason it has none.
struct TSystemLibrary {
  HMODULE Module = nullptr;
  WideString Error;
};

// Loaded once per process and kept for its life: the handles the layers
// hold (credentials, contexts, certificates) point into it.
TSystemLibrary LoadSystemLibrary(const wchar_t* name) {
  TSystemLibrary lib;
  wchar_t folder[MAX_PATH + 1];
  const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) {
    lib.Error = u"the system folder is unknown";
    return lib;
  }
  std::wstring path(folder, n);
  if (path.back() != L'\\') path += L'\\';
  path += name;
  lib.Module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!lib.Module) lib.Error = SysErrorMessage(static_cast<int>(::GetLastError()));
  return lib;
}

[[noreturn]] void Unavailable(const char16_t* library, const WideString& why) {
  throw ENetError(WideString(u"The system library ") + library + u" cannot be used: " + why);
}

template <class F>
F Function(HMODULE module, const char* name, const char16_t* library) {
  FARPROC p = ::GetProcAddress(module, name);
  if (!p) Unavailable(library, u"it has no " + Utf8ToWide(name));
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(p));
}

}  // namespace

const SecurityFunctionTableW& QvSspi() {
  static const SecurityFunctionTableW* const table = []() -> const SecurityFunctionTableW* {
    const TSystemLibrary lib = LoadSystemLibrary(L"secur32.dll");
    if (!lib.Module) return nullptr;
    using TInit = PSecurityFunctionTableW(SEC_ENTRY*)();
    FARPROC p = ::GetProcAddress(lib.Module, "InitSecurityInterfaceW");
    return p ? reinterpret_cast<TInit>(reinterpret_cast<void (*)()>(p))() : nullptr;
  }();
  if (!table) Unavailable(u"secur32.dll", u"it is missing or has no security interface");
  return *table;
}

const TQvCryptApi& QvCrypt() {
  static const TSystemLibrary lib = LoadSystemLibrary(L"crypt32.dll");
  if (!lib.Module) Unavailable(u"crypt32.dll", lib.Error);
  static const TQvCryptApi api = {
      Function<decltype(TQvCryptApi::GetCertificateChain)>(lib.Module, "CertGetCertificateChain", u"crypt32.dll"),
      Function<decltype(TQvCryptApi::VerifyCertificateChainPolicy)>(lib.Module, "CertVerifyCertificateChainPolicy",
                                                                   u"crypt32.dll"),
      Function<decltype(TQvCryptApi::FreeCertificateChain)>(lib.Module, "CertFreeCertificateChain", u"crypt32.dll"),
      Function<decltype(TQvCryptApi::FreeCertificateContext)>(lib.Module, "CertFreeCertificateContext", u"crypt32.dll"),
  };
  return api;
}
