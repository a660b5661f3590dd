// Opens a built setup the way the installer would: its script from the
// full or the online script resource, and for a full setup its file data.
#pragma once

#include <memory>

#include "FileDataClasses.h"
#include "PackageResources.h"
#include "SetupProject.h"

class TPackageReader {
public:
  // Raises an error naming the file when it is not a PE image or carries
  // no setup script.
  explicit TPackageReader(const WideString& fileName);

  bool IsOnline() const { return FOnline; }
  bool Is64Bit() const { return FReader->Is64Bit(); }
  const TSetupScript& Script() const { return FScript; }
  const TResourceReader& Resources() const { return *FReader; }
  // The decoded XML form of the script, as it is stored.
  const std::string& ScriptXml() const { return FScriptXml; }
  // The file data index with every entry's encoded image; none in an
  // online setup.
  const TFileDataList* FileData() const { return FFileData.get(); }

private:
  std::unique_ptr<TPeImageResourceReader> FReader;
  bool FOnline = false;
  TSetupScript FScript;
  std::string FScriptXml;
  std::unique_ptr<TFileDataList> FFileData;
};

// "2026-12-09 10:30:05" for a date-time value.
std::string FormatDateTime(TDateTime value);

// The host path below dir where extraction writes a file of the given
// destination folder and name; the placeholders stay folder names. A part
// that would climb out of dir is refused and a drive colon dropped, since
// a setup may come from anyone.
WideString ExtractTargetPath(const WideString& dir, const WideString& destDir, const WideString& name);
