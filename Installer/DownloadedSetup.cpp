#include "DownloadedSetup.h"

#include <windows.h>

#include "QvExceptions.h"
#include "QvSysUtils.h"

// A stream over a file handle of this process.
class TDownloadedSetup::THandleStream : public TStream {
public:
  explicit THandleStream(HANDLE handle) : FHandle(handle) {}

  int64_t Read(void* buffer, int64_t count) override {
    DWORD done = 0;
    if (count <= 0) return 0;
    if (!::ReadFile(FHandle, buffer, static_cast<DWORD>(std::min<int64_t>(count, 1 << 30)), &done, nullptr)) return 0;
    return done;
  }
  int64_t Write(const void* buffer, int64_t count) override {
    DWORD done = 0;
    if (count <= 0) return 0;
    if (!::WriteFile(FHandle, buffer, static_cast<DWORD>(std::min<int64_t>(count, 1 << 30)), &done, nullptr)) return 0;
    return done;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    const DWORD method = origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                         : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                            : FILE_END;
    if (!::SetFilePointerEx(FHandle, distance, &position, method)) return -1;
    return position.QuadPart;
  }

private:
  HANDLE FHandle;
};

namespace {

WideString SystemMessage(DWORD code) { return SysErrorMessage(static_cast<int>(code)); }

}  // namespace

TDownloadedSetup::TDownloadedSetup(const WideString& path) : FPath(path) {
  // Others may read the file (the loader will), never write or delete it.
  FHandle = Owned(::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!FHandle) {
    const DWORD error = ::GetLastError();
    throw EFCreateError(Format(u"Cannot create file \"%s\". %s", {ExpandFileName(path), SystemMessage(error)}));
  }
  FStream.reset(new THandleStream(FHandle.get()));
}

TDownloadedSetup::~TDownloadedSetup() {
  if (FModule) ::FreeLibrary(static_cast<HMODULE>(FModule));
  FStream.reset();
  FHandle.reset();
  ::DeleteFileW(W(FPath));
}

TStream& TDownloadedSetup::Writer() { return *FStream; }

// Between closing the writer and opening the reader another program could
// open the file for writing: the reader's open then fails on the sharing,
// and a change made and closed in that moment is caught by the checks,
// which read through the new handle.
TStream& TDownloadedSetup::Seal() {
  FStream.reset();
  FHandle.reset();
  FHandle = Owned(::CreateFileW(W(FPath), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!FHandle) {
    const DWORD error = ::GetLastError();
    throw EFOpenError(Format(u"Cannot open file \"%s\". %s", {ExpandFileName(FPath), SystemMessage(error)}));
  }
  FStream.reset(new THandleStream(FHandle.get()));
  return *FStream;
}

void* TDownloadedSetup::Map() {
  HMODULE module =
      ::LoadLibraryExW(W(FPath), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  const DWORD error = ::GetLastError();
  // Mapped, the image cannot be changed any more; the reading handle goes.
  FStream.reset();
  FHandle.reset();
  if (!module) throw Exception(Format(u"Cannot load \"%s\". %s", {FPath, SystemMessage(error)}));
  FModule = module;
  return FModule;
}
