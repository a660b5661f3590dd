// The files' data decoded on a second thread, in the order the installer
// writes them and a few megabytes ahead of it: writing and inflating take
// about as long each, and a machine has more than one processor. Only
// memory is touched there; every write, question and window stays on the
// installer's thread, in the script's order.
//
// The two threads meet through a slim lock and a condition variable, not
// events: under Wine an event's set and wait are each a call to the
// server, which cost more per file than inflating a small one.
#pragma once

#include <windows.h>

#include <deque>
#include <exception>
#include <string>
#include <vector>

#include "FileDataClasses.h"
#include "QvWinApi.h"

// One file's data from the package into out (its storage reused): false
// when the data is damaged. An entry outside the package raises.
bool DecodeFileData(const TFileDataList& data, const TFileData& entry, int64_t plainSize, std::string& out);

// A file to decode: its entry and its recorded size.
struct TDecodeJob {
  const TFileData* Entry;
  int64_t PlainSize;
};

class TDecodeAhead {
public:
  // Starts decoding jobs, in their order. Where no second thread can be
  // started, each is decoded when it is taken.
  TDecodeAhead(const TFileDataList& data, std::vector<TDecodeJob> jobs);
  // Stop, then the thread's end.
  ~TDecodeAhead();
  TDecodeAhead(const TDecodeAhead&) = delete;
  TDecodeAhead& operator=(const TDecodeAhead&) = delete;

  // Waits for the next job's bytes and hands them over in bytes (whose
  // previous storage goes back for reuse); false when its data is
  // damaged. What else stopped its decoding (the entry outside the
  // package, memory that ran out) is raised here, as it would have been on
  // this thread. Each job is taken once, in order.
  bool Take(std::string& bytes);
  // Stops the second thread and waits until the file it is inflating is
  // done: after that nothing reads the package. Nothing may be taken
  // after it.
  void Stop();

private:
  struct TDecoded {
    std::string Bytes;
    bool Ok = false;
    std::exception_ptr Error;
  };

  static unsigned long __stdcall Run(void* self);
  void DecodeAll();
  TDecoded Decode(const TDecodeJob& job, std::string buffer) const;

  const TFileDataList& FData;
  const std::vector<TDecodeJob> FJobs;
  size_t FTaken = 0;  // the installer's thread's own count

  // Under FLock: what is decoded and not yet taken, its bytes, buffers
  // given back for reuse, and the request to stop.
  SRWLOCK FLock = SRWLOCK_INIT;
  CONDITION_VARIABLE FChanged = CONDITION_VARIABLE_INIT;
  std::deque<TDecoded> FReady;
  size_t FReadyBytes = 0;
  std::vector<std::string> FSpare;
  bool FStop = false;
  // What ended the second thread early (memory for its own lists).
  std::exception_ptr FBroken;

  THandle FThread;
};
