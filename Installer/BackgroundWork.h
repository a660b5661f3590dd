// Work for a second processor while the installer's thread goes on: the
// start-up's look-ups and encodings that the installation needs only
// later. Only memory, the registry and the system's own look-ups are
// touched there; nothing is written and no window is shown.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>

#include "QvWinApi.h"

class TBackgroundWork {
public:
  // Starts work on a thread of its own; where no thread can be started, it
  // runs here and now.
  explicit TBackgroundWork(std::function<void()> work);
  // Waits for the work: nothing of it outlives its owner, and a process
  // that ends meanwhile does not cut it off inside a lock it holds.
  ~TBackgroundWork();
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  // Returns once the work has ended, raising what it raised (once).
  void Wait();

private:
  static unsigned long __stdcall Run(void* self);
  void Work();

  std::function<void()> FWork;
  std::exception_ptr FError;
  THandle FThread;
};
