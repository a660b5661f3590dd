// The next file's data decoded on a second thread while the installer
// writes the current one: inflating and writing take about as long each,
// and a machine has more than one processor. Only memory is touched
// there; every write, question and window stays on the installer's
// thread, in the script's order.
#pragma once

#include <exception>
#include <string>

#include "FileDataClasses.h"
#include "QvWinApi.h"

// One file's data from the package into out (its storage reused): false
// when the data is damaged. An entry outside the package raises.
bool DecodeFileData(const TFileDataList& data, const TFileData& entry, int64_t plainSize, std::string& out);

class TDecodeAhead {
public:
  explicit TDecodeAhead(const TFileDataList& data);
  ~TDecodeAhead();
  TDecodeAhead(const TDecodeAhead&) = delete;
  TDecodeAhead& operator=(const TDecodeAhead&) = delete;

  // Begins decoding entry (plainSize bytes) into buffer, whose storage is
  // reused. One file at a time: Take it before the next Start. Where no
  // second thread could be started, the file is decoded here and now.
  void Start(const TFileData& entry, int64_t plainSize, std::string buffer);
  // Waits for the file Start began and hands over its bytes; false when
  // its data is damaged. What else stopped the decoding (the entry outside
  // the package, memory that ran out) is raised here, as it would have
  // been on this thread.
  bool Take(std::string& bytes);

private:
  static unsigned long __stdcall Run(void* self);
  void Decode();

  const TFileDataList& FData;
  THandle FWork, FDone, FThread;
  // Written by the installer's thread before FWork is set, read by the
  // second one after it; the result the other way round with FDone.
  const TFileData* FEntry = nullptr;
  int64_t FPlainSize = 0;
  std::string FBuffer;
  bool FOk = false;
  std::exception_ptr FError;
  bool FStop = false;
};
