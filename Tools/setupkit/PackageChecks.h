// Checks a package before it is built: names that Windows cannot hold, and
// settings that would stop the installer half-way or point at nothing.
// They run on the script as the build packs it: variables applied and every
// file item expanded into one item per file.
#pragma once

#include <vector>

#include "QvExceptions.h"
#include "QvTypes.h"

class TSetupScript;
class TSetupBaseInfo;

QV_DECLARE_EXCEPTION(EPackageCheckError, Exception);

// Every problem found, each one line naming the file or item concerned.
struct TPackageCheck {
  std::vector<WideString> NameErrors;     // names Windows cannot hold
  std::vector<WideString> LinkErrors;     // links that point nowhere or back into the tree
  std::vector<WideString> InstallErrors;  // settings the installer would fail on
  std::vector<WideString> StartErrors;    // what the installer cannot start without (picture, titles, licenses)
  std::vector<WideString> Warnings;       // settings that point at no file of the package

  bool HasErrors() const {
    return !NameErrors.empty() || !LinkErrors.empty() || !InstallErrors.empty() || !StartErrors.empty();
  }
  size_t ErrorCount() const { return NameErrors.size() + LinkErrors.size() + InstallErrors.size() + StartErrors.size(); }
  // The errors under their headings, one indented line each; "" when none.
  WideString ErrorReport() const;
};

// The character, name or ending that keeps name (one path component) off a
// Windows disk, as a short reason; "" when Windows takes it.
WideString WindowsNameProblem(const WideString& name);

// Unicode simple case folding of one UTF-16 unit, the comparison Windows
// applies to names; see the source for the ranges covered.
WideChar FoldNameCase(WideChar c);
WideString FoldNameCase(const WideString& s);

// Runs every check. applied is the script after variables and file
// expansion; sourcePaths[i] is the host path of its file item i, as the
// expansion returns them. Source files are named relative to projectDir
// when they lie below it.
TPackageCheck FindPackageProblems(const TSetupScript& applied, const std::vector<WideString>& sourcePaths,
                                  const WideString& projectDir = WideString());

// What the installer's start-up and window need of the project's own files
// and would stop on: a title in some language, the product's picture
// (IconFile: a PNG file), each license file set (a file that reads as
// text). Each problem names the attribute and the file; files are read
// relative to projectDir.
std::vector<WideString> FindStartProblems(const TSetupBaseInfo& info, const WideString& projectDir);

// The build's gate: raises EPackageCheckError listing every error (with
// FindStartProblems' when startNeeds, as a build asks), and returns the
// warnings for the caller to print.
std::vector<WideString> CheckPackage(const TSetupScript& applied, const std::vector<WideString>& sourcePaths,
                                     const WideString& projectDir = WideString(), bool startNeeds = false);

// What 'setupkit check' runs: loads the project, applies its variables and
// expands its file items as a build does (reading no file contents), with
// bad links reported as link errors rather than raised.
TPackageCheck CheckProjectFile(const WideString& projectFile);
