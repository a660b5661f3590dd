#include "DecodeAhead.h"

#include <utility>

#include "MySetupUtils.h"
#include "PhaseTimes.h"

namespace {

// How far the second thread runs ahead of the writing: it stops when the
// files decoded and not yet written hold this much, or one file larger
// than it. Enough to ride out a slow write, little beside a package's
// size; the memory is that of the buffers, reused from file to file.
constexpr size_t kAheadBytes = 16u << 20;
// Buffers kept for reuse beyond those in flight.
constexpr size_t kSpareBuffers = 4;

class TLocked {
public:
  explicit TLocked(SRWLOCK& lock) : FLock(lock) { ::AcquireSRWLockExclusive(&FLock); }
  ~TLocked() { ::ReleaseSRWLockExclusive(&FLock); }
  TLocked(const TLocked&) = delete;
  TLocked& operator=(const TLocked&) = delete;

private:
  SRWLOCK& FLock;
};

}  // namespace

bool DecodeFileData(const TFileDataList& data, const TFileData& entry, int64_t plainSize, std::string& out) {
  if (plainSize < 0) return false;
  const TResourceBytes image = data.Image(entry);
  return TSetupfn::DecodeImage(image.Data, static_cast<size_t>(image.Size), static_cast<size_t>(plainSize), out);
}

TDecodeAhead::TDecodeAhead(const TFileDataList& data, std::vector<TDecodeJob> jobs)
    : FData(data), FJobs(std::move(jobs)) {
  if (!FJobs.empty()) FThread = Owned(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
}

TDecodeAhead::~TDecodeAhead() { Stop(); }

void TDecodeAhead::Stop() {
  if (!FThread) return;
  {
    TLocked locked(FLock);
    FStop = true;
  }
  ::WakeAllConditionVariable(&FChanged);
  ::WaitForSingleObject(FThread.get(), INFINITE);
  FThread.reset();
}

bool TDecodeAhead::Take(std::string& bytes) {
  TDecoded got;
  if (!FThread) {
    got = Decode(FJobs.at(FTaken), std::move(bytes));
  } else {
    TLocked locked(FLock);
    while (FReady.empty() && !FBroken) ::SleepConditionVariableSRW(&FChanged, &FLock, INFINITE, 0);
    if (FReady.empty()) std::rethrow_exception(FBroken);
    got = std::move(FReady.front());
    FReady.pop_front();
    FReadyBytes -= got.Bytes.size();
    if (FSpare.size() < kSpareBuffers) {
      bytes.clear();
      FSpare.push_back(std::move(bytes));
    }
  }
  ++FTaken;
  if (FThread) ::WakeAllConditionVariable(&FChanged);
  bytes = std::move(got.Bytes);
  if (got.Error) std::rethrow_exception(got.Error);
  return got.Ok;
}

unsigned long __stdcall TDecodeAhead::Run(void* self) {
  auto* ahead = static_cast<TDecodeAhead*>(self);
  try {
    ahead->DecodeAll();
  } catch (...) {
    {
      TLocked locked(ahead->FLock);
      ahead->FBroken = std::current_exception();
    }
    ::WakeAllConditionVariable(&ahead->FChanged);
  }
  return 0;
}

void TDecodeAhead::DecodeAll() {
  for (const TDecodeJob& job : FJobs) {
    std::string buffer;
    {
      TLocked locked(FLock);
      while (!FStop && !FReady.empty() && FReadyBytes >= kAheadBytes)
        ::SleepConditionVariableSRW(&FChanged, &FLock, INFINITE, 0);
      if (FStop) return;
      if (!FSpare.empty()) {
        buffer = std::move(FSpare.back());
        FSpare.pop_back();
      }
    }
    TDecoded done = Decode(job, std::move(buffer));
    {
      TLocked locked(FLock);
      FReadyBytes += done.Bytes.size();
      FReady.push_back(std::move(done));
    }
    ::WakeAllConditionVariable(&FChanged);
  }
}

TDecodeAhead::TDecoded TDecodeAhead::Decode(const TDecodeJob& job, std::string buffer) const {
  TPhaseScope phase(phAhead);
  TDecoded done;
  done.Bytes = std::move(buffer);
  try {
    done.Ok = DecodeFileData(FData, *job.Entry, job.PlainSize, done.Bytes);
  } catch (...) {
    done.Error = std::current_exception();
  }
  return done;
}
