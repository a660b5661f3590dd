// The registry object on Win32: wide calls throughout, in the view of the
// registry that the process gets by default (a 32-bit installer writes
// where 32-bit programs read).
#include <windows.h>

#include <vector>

#include "QvRegistry.h"
#include "QvSysUtils.h"
#include "QvWinApi.h"

namespace {


HKEY RootHandle(uint32_t root) {
  // The predefined keys are negative 32-bit numbers; a 64-bit handle carries
  // them sign-extended.
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

// The key's path below the root: "\Software\X" and "Software\X" are one key.
WideString RelativeKey(const WideString& key) {
  return !key.empty() && key[0] == u'\\' ? key.substr(1) : key;
}

[[noreturn]] void RaiseSetFailed(const WideString& name) {
  throw ERegistryException(Format(u"Failed to set data for '%s'", {name}));
}

}  // namespace

TRegistry::TRegistry(uint32_t root) : FRoot(RootHandle(root)) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(uint32_t root) {
  CloseKey();
  FRoot = RootHandle(root);
}

// The key opened before is closed first, so that a failed open never leaves
// later writes going to the old key.
bool TRegistry::OpenKey(const WideString& key, bool canCreate) {
  CloseKey();
  const WideString path = RelativeKey(key);
  HKEY h = nullptr;
  LONG rc;
  if (canCreate)
    rc = ::RegCreateKeyExW(static_cast<HKEY>(FRoot), W(path), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &h, nullptr);
  else
    rc = ::RegOpenKeyExW(static_cast<HKEY>(FRoot), W(path), 0, KEY_ALL_ACCESS, &h);
  if (rc != ERROR_SUCCESS) return false;
  FKey = h;
  return true;
}

bool TRegistry::OpenKeyReadOnly(const WideString& key) {
  CloseKey();
  HKEY h = nullptr;
  if (::RegOpenKeyExW(static_cast<HKEY>(FRoot), W(RelativeKey(key)), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  FKey = h;
  return true;
}

// No RegFlushKey: the system writes the key out in its own time, and a
// flush per key would slow an installation that writes many.
void TRegistry::CloseKey() {
  if (FKey) {
    ::RegCloseKey(static_cast<HKEY>(FKey));
    FKey = nullptr;
  }
}

bool TRegistry::ValueExists(const WideString& name) const {
  if (!FKey) return false;
  return ::RegQueryValueExW(static_cast<HKEY>(FKey), W(name), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

WideString TRegistry::ReadString(const WideString& name) const {
  if (!FKey) throw ERegistryException(Format(u"Failed to get data for '%s'", {name}));
  const HKEY key = static_cast<HKEY>(FKey);
  DWORD type = REG_NONE, size = 0;
  if (::RegQueryValueExW(key, W(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return WideString();
  // The value may change between the two calls; ask again while it grows.
  std::vector<wchar_t> buf;
  LONG rc;
  do {
    if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(Format(u"Invalid data type for '%s'", {name}));
    // Room for an odd byte count and a terminator that the writer left out.
    buf.assign(size / sizeof(wchar_t) + 2, 0);
    size = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
    rc = ::RegQueryValueExW(key, W(name), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
  } while (rc == ERROR_MORE_DATA);
  if (rc != ERROR_SUCCESS) return WideString();
  if (type != REG_SZ && type != REG_EXPAND_SZ) throw ERegistryException(Format(u"Invalid data type for '%s'", {name}));
  size_t length = size / sizeof(wchar_t);
  while (length > 0 && buf[length - 1] == 0) --length;
  return WideString(reinterpret_cast<const char16_t*>(buf.data()), length);
}

void TRegistry::WriteString(const WideString& name, const WideString& value) {
  if (!FKey) RaiseSetFailed(name);
  const DWORD size = static_cast<DWORD>((value.size() + 1) * sizeof(char16_t));
  if (::RegSetValueExW(static_cast<HKEY>(FKey), W(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       size) != ERROR_SUCCESS)
    RaiseSetFailed(name);
}

void TRegistry::WriteInteger(const WideString& name, int32_t value) {
  if (!FKey) RaiseSetFailed(name);
  const DWORD data = static_cast<DWORD>(value);
  if (::RegSetValueExW(static_cast<HKEY>(FKey), W(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                       sizeof(data)) != ERROR_SUCCESS)
    RaiseSetFailed(name);
}

void TRegistry::WriteBinaryData(const WideString& name, const void* data, uint32_t size) {
  if (!FKey) RaiseSetFailed(name);
  if (::RegSetValueExW(static_cast<HKEY>(FKey), W(name), 0, REG_BINARY, static_cast<const BYTE*>(data), size) !=
      ERROR_SUCCESS)
    RaiseSetFailed(name);
}
