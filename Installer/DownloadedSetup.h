// One downloaded full setup: written where no other program may change it,
// checked, and mapped as data only; deleted with the object.
#pragma once

#include <memory>

#include "QvClasses.h"
#include "QvWinApi.h"

class TDownloadedSetup {
public:
  // Creates the file (raising the file layer's error when it cannot): this
  // process writes it, others may only read it, never change or delete it.
  explicit TDownloadedSetup(const WideString& path);
  // Frees the mapping and deletes the file.
  ~TDownloadedSetup();
  TDownloadedSetup(const TDownloadedSetup&) = delete;
  TDownloadedSetup& operator=(const TDownloadedSetup&) = delete;

  const WideString& Path() const { return FPath; }
  // Where the body goes while it arrives.
  TStream& Writer();
  // Ends the writing: the file is opened again for reading only, still
  // denying others any change, and Reader() reads it from its start. What
  // is checked from here on is what gets mapped.
  TStream& Seal();
  // Maps the sealed file as a data file and image resource (nothing of it
  // is resolved or run) and lets go of the reading handle; raises an error
  // when the file is no image Windows can map. The module lives as long as
  // this object.
  void* Map();
  void* Module() const { return FModule; }

private:
  class THandleStream;
  WideString FPath;
  THandle FHandle;
  std::unique_ptr<THandleStream> FStream;
  void* FModule = nullptr;
};
