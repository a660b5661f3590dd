#include "BackgroundWork.h"

#include <utility>

TBackgroundWork::TBackgroundWork(std::function<void()> work) : FWork(std::move(work)) {
  FThread = Owned(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
  if (!FThread) Work();
}

TBackgroundWork::~TBackgroundWork() {
  if (FThread) ::WaitForSingleObject(FThread.get(), INFINITE);
}

void TBackgroundWork::Wait() {
  if (FThread) {
    ::WaitForSingleObject(FThread.get(), INFINITE);
    FThread.reset();
  }
  if (FError) std::rethrow_exception(std::exchange(FError, nullptr));
}

unsigned long __stdcall TBackgroundWork::Run(void* self) {
  static_cast<TBackgroundWork*>(self)->Work();
  return 0;
}

void TBackgroundWork::Work() {
  try {
    FWork();
  } catch (...) {
    FError = std::current_exception();
  }
}
