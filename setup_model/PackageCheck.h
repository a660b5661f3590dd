// The whole package checked before an installation changes anything: a
// setup whose package is damaged must stop while the previous version is
// still whole, not half-way through replacing it.
#pragma once

#include <vector>

#include "FileDataClasses.h"
#include "PackageResources.h"
#include "QvExceptions.h"
#include "QvTypes.h"

class TSetupScript;

QV_DECLARE_EXCEPTION(EPackageDamaged, Exception);

// One damage found: what is damaged (a resource's name, a file's name) and
// how, in plain English for the log or standard error.
struct TPackageDamage {
  WideString What;
  WideString Reason;
};

// Everything the installation will read from the package, short of
// inflating the files' data (which costs as much as installing them and is
// checked file by file as they are written): the product picture decodes
// and is a PNG; every license text decodes; the file data index loads, each
// of its images begins as the codec's images do and ends before the next
// image or the index begins; every file of the script that has bytes has its image. Returns the first
// damages found (at most a few), empty for a whole package. Where index is
// given it receives the file data index as read for the check, for the
// installation to use (it is left empty when no file needs data).
std::vector<TPackageDamage> CheckPackage(const TResourceReader& reader, const TSetupScript& script,
                                         TFileDataList* index = nullptr);
