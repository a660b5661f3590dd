#include "DecodeAhead.h"

#include <optional>
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

bool TDecodeAhead::Claim(size_t& job, std::string& buffer) {
  const size_t next = FFirst + FClaimed.size();
  if (next >= FJobs.size()) return false;
  // Nothing is claimed unless its slot could be made.
  FClaimed.emplace_back();
  job = next;
  if (!FSpare.empty()) {
    buffer = std::move(FSpare.back());
    FSpare.pop_back();
  }
  return true;
}

void TDecodeAhead::DecodeClaimed(size_t job, std::string buffer) {
  TDecoded done = Decode(FJobs[job], std::move(buffer));
  {
    TLocked locked(FLock);
    TSlot& slot = FClaimed[job - FFirst];
    FReadyBytes += done.Bytes.size();
    slot.Result = std::move(done);
    slot.Done = true;
  }
  ::WakeAllConditionVariable(&FChanged);
}

bool TDecodeAhead::Take(std::string& bytes) {
  for (;;) {
    size_t job = 0;
    std::string buffer;
    bool later = false;
    {
      TLocked locked(FLock);
      for (;;) {
        if (!FClaimed.empty() && FClaimed.front().Done) {
          TDecoded got = std::move(FClaimed.front().Result);
          FClaimed.pop_front();
          ++FFirst;
          FReadyBytes -= got.Bytes.size();
          if (FSpare.size() < kSpareBuffers) {
            bytes.clear();
            FSpare.push_back(std::move(bytes));
          }
          bytes = std::move(got.Bytes);
          if (got.Error) {
            ::WakeAllConditionVariable(&FChanged);
            std::rethrow_exception(got.Error);
          }
          ::WakeAllConditionVariable(&FChanged);
          return got.Ok;
        }
        // Rather than wait, this thread decodes the first job nobody has
        // claimed: the one it needs, when the second thread has not come
        // to it (or is gone), or a later one while that thread inflates
        // the one needed, as long as what is decoded ahead stays within
        // the window. The second thread never leaves a claimed job
        // undone, so a job that is claimed is worth waiting for.
        later = !FClaimed.empty();
        if ((!later || FReadyBytes < kAheadBytes) && Claim(job, buffer)) break;
        ::SleepConditionVariableSRW(&FChanged, &FLock, INFINITE, 0);
      }
    }
    std::optional<TPhaseScope> helping;
    if (later) helping.emplace(phHelp);
    DecodeClaimed(job, std::move(buffer));
  }
}

unsigned long __stdcall TDecodeAhead::Run(void* self) {
  // Whatever ends this thread early (memory for its slots) leaves the jobs
  // it has not claimed to the installer's thread, which decodes them when
  // it comes to them.
  try {
    static_cast<TDecodeAhead*>(self)->DecodeAll();
  } catch (...) {
  }
  return 0;
}

void TDecodeAhead::DecodeAll() {
  for (;;) {
    size_t job = 0;
    std::string buffer;
    {
      TLocked locked(FLock);
      while (!FStop && FReadyBytes >= kAheadBytes) ::SleepConditionVariableSRW(&FChanged, &FLock, INFINITE, 0);
      if (FStop || !Claim(job, buffer)) return;
    }
    TPhaseScope phase(phAhead);
    DecodeClaimed(job, std::move(buffer));
  }
}

TDecodeAhead::TDecoded TDecodeAhead::Decode(const TDecodeJob& job, std::string buffer) const {
  TDecoded done;
  done.Bytes = std::move(buffer);
  try {
    done.Ok = DecodeFileData(FData, *job.Entry, job.PlainSize, done.Bytes);
  } catch (...) {
    done.Error = std::current_exception();
  }
  return done;
}
