// Resources of a loaded module: the installer's own executable, or a
// downloaded full setup.
#include <windows.h>

#include "PackageResources.h"
#include "QvWinApi.h"

namespace {

HMODULE AsModule(void* module) { return static_cast<HMODULE>(module); }

}  // namespace

std::unique_ptr<TModuleResourceReader> TModuleResourceReader::LoadModule(const WideString& fileName) {
  HMODULE module = LoadLibraryW(W(fileName));
  return std::unique_ptr<TModuleResourceReader>(new TModuleResourceReader(module, module != nullptr));
}

TModuleResourceReader::~TModuleResourceReader() {
  if (FOwned) FreeLibrary(AsModule(FModule));
}

bool TModuleResourceReader::Find(const std::string& name, TResourceBytes& bytes) const {
  HRSRC info = FindResourceA(AsModule(FModule), name.c_str(), MAKEINTRESOURCEA(10));
  if (info == nullptr) return false;
  // A loaded resource lives as long as its module; there is nothing to free.
  HGLOBAL handle = LoadResource(AsModule(FModule), info);
  if (handle == nullptr) return false;
  const void* data = LockResource(handle);
  const DWORD size = SizeofResource(AsModule(FModule), info);
  if (data == nullptr && size != 0) return false;
  bytes.Data = static_cast<const char*>(data);
  bytes.Size = static_cast<int64_t>(size);
  return true;
}
