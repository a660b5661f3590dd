// The files' data decoded on a second thread, in the order the installer
// writes them and a few megabytes ahead of it: writing and inflating take
// about as long each, and a machine has more than one processor. Where the
// installer's thread would wait for the file it needs next, it decodes a
// later one itself meanwhile. Only memory is touched on the second thread;
// every write, question and window stays on the installer's thread, in the
// script's order.
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

  // The next job's bytes, handed over in bytes (whose previous storage
  // goes back for reuse); false when its data is damaged. While the second
  // thread is still inflating it, a later job is decoded here meanwhile.
  // What else stopped a job's decoding (the entry outside the package,
  // memory that ran out) is raised here, as it would have been on this
  // thread. Each job is taken once, in order.
  bool Take(std::string& bytes);
  // Stops the second thread and waits until the file it is inflating is
  // done: after that nothing reads the package. Nothing may be taken after
  // it.
  void Stop();

private:
  struct TDecoded {
    std::string Bytes;
    bool Ok = false;
    std::exception_ptr Error;
  };
  // A job that one of the threads has claimed: Done once its bytes are in.
  struct TSlot {
    bool Done = false;
    TDecoded Result;
  };

  static unsigned long __stdcall Run(void* self);
  void DecodeAll();
  TDecoded Decode(const TDecodeJob& job, std::string buffer) const;
  // Under the lock: claims the next job for the calling thread, with a
  // buffer to decode it into; false when every job is claimed.
  bool Claim(size_t& job, std::string& buffer);
  // Decodes a claimed job unlocked and hands its bytes in.
  void DecodeClaimed(size_t job, std::string buffer);

  const TFileDataList& FData;
  const std::vector<TDecodeJob> FJobs;

  // Under FLock: the claimed jobs not yet taken, from FFirst on, those
  // whose bytes are in and how large those are, buffers given back for
  // reuse, and the request to stop.
  SRWLOCK FLock = SRWLOCK_INIT;
  CONDITION_VARIABLE FChanged = CONDITION_VARIABLE_INIT;
  std::deque<TSlot> FClaimed;
  size_t FFirst = 0;
  size_t FReadyBytes = 0;
  std::vector<std::string> FSpare;
  bool FStop = false;

  THandle FThread;
};
