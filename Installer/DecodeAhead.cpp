#include "DecodeAhead.h"

#include <windows.h>

#include <utility>

#include "MySetupUtils.h"

bool DecodeFileData(const TFileDataList& data, const TFileData& entry, int64_t plainSize, std::string& out) {
  if (plainSize < 0) return false;
  const TResourceBytes image = data.Image(entry);
  return TSetupfn::DecodeImage(image.Data, static_cast<size_t>(image.Size), static_cast<size_t>(plainSize), out);
}

TDecodeAhead::TDecodeAhead(const TFileDataList& data)
    : FData(data),
      FWork(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      FDone(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (FWork && FDone) FThread = Owned(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
}

TDecodeAhead::~TDecodeAhead() {
  if (!FThread) return;
  FStop = true;
  ::SetEvent(FWork.get());
  ::WaitForSingleObject(FThread.get(), INFINITE);
}

void TDecodeAhead::Start(const TFileData& entry, int64_t plainSize, std::string buffer) {
  FEntry = &entry;
  FPlainSize = plainSize;
  FBuffer = std::move(buffer);
  if (FThread)
    ::SetEvent(FWork.get());
  else
    Decode();
}

bool TDecodeAhead::Take(std::string& bytes) {
  if (FThread) ::WaitForSingleObject(FDone.get(), INFINITE);
  bytes = std::move(FBuffer);
  FBuffer.clear();
  if (FError) std::rethrow_exception(std::exchange(FError, nullptr));
  return FOk;
}

unsigned long __stdcall TDecodeAhead::Run(void* self) {
  auto* ahead = static_cast<TDecodeAhead*>(self);
  for (;;) {
    ::WaitForSingleObject(ahead->FWork.get(), INFINITE);
    if (ahead->FStop) return 0;
    ahead->Decode();
    ::SetEvent(ahead->FDone.get());
  }
}

void TDecodeAhead::Decode() {
  FOk = false;
  try {
    FOk = DecodeFileData(FData, *FEntry, FPlainSize, FBuffer);
  } catch (...) {
    FError = std::current_exception();
  }
}
