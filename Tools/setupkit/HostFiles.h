// The host's file system as the package tool needs it: finding a product's
// files by folder and mask, their times in local time, and writing outputs
// so that a failure never leaves a half-written file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "QvTypes.h"

struct THostFile {
  WideString Path;         // host path of the file
  WideString RelativeDir;  // below the searched folder, "\"-separated; empty at its top
  WideString Name;
  uint64_t Size = 0;
};

// Case-insensitive (ASCII) wildcard match of a file name: "*" any run,
// "?" one character; a mask without wildcards is a plain name.
bool MatchesFileMask(const WideString& name, const WideString& mask);

// The regular files in folder whose names match mask, and with recursive
// those of every subfolder, sorted by relative folder, then name (byte
// order of their UTF-16 form), so that a build is reproducible. Raises
// EFOpenError when folder does not exist or cannot be read.
//
// Links are followed: a link to a file is found under the link's own name
// and path, so reading it gives the content it points to; with recursive a
// link to a folder is walked like a folder. A link that points nowhere, a
// loop of links, and a folder link that leads back into the tree or to a
// folder being walked raise EFOpenError naming the link: a product must
// never lose a file, or gain endless copies, without a word. (A dangling
// link is only an error where it could have held a matching file: any in a
// recursive walk, one whose name matches mask in a flat one.)
std::vector<THostFile> FindHostFiles(const WideString& folder, const WideString& mask, bool recursive);
// The same walk, but the bad links (one line each, naming the link) are
// added to linkProblems and skipped instead of raised, so that a check can
// report them together with everything else.
std::vector<THostFile> FindHostFiles(const WideString& folder, const WideString& mask, bool recursive,
                                     std::vector<WideString>* linkProblems);

// What one folder entry is once links are followed (HostFiles_posix.cpp,
// HostFiles_win.cpp; a Windows link is a reparse point: symbolic link or
// junction).
struct THostEntry {
  enum TKind { hekFile, hekFolder, hekOther, hekMissing, hekLoop };
  TKind Kind = hekOther;
  bool IsLink = false;
  WideString Target;    // a link's own text, for messages ("" when unknown)
  WideString RealPath;  // a folder's path with every link resolved
  uint64_t Size = 0;    // a file's size
};
// Raises EFOpenError naming path when it cannot be looked at for another
// reason than a missing or looping target.
THostEntry InspectHostEntry(const WideString& path);

// A path written in a project with "\" or "/" separators, made absolute
// against base (a folder) unless it already is.
WideString ResolveHostPath(const WideString& base, const WideString& path);
// The folder of a host path, separator included ("" when none), and the
// name that follows it.
WideString HostFolderOf(const WideString& path);
WideString HostNameOf(const WideString& path);
// "\" or "/", which a project's paths may use on either system.
bool IsHostSeparator(WideChar c);
// Joins with the host separator.
WideString JoinHostPath(const WideString& folder, const WideString& name);

// A file's last-write time in milliseconds since 1970-01-01 UTC; raises
// EInOutError naming the file on failure.
int64_t FileLastWriteUnixMs(const WideString& path);
// That instant as a date-time of the local zone (by its rules at that
// date), to the millisecond.
TDateTime UnixMsToLocalDateTime(int64_t ms);
// Sets a file's last-write time from a local date-time; raises
// EInOutError naming the file on failure.
void SetFileLastWriteLocal(const WideString& path, TDateTime localTime);

// Creates the folder and its parents; EInOutError naming it on failure.
void CreateHostFolders(const WideString& folder);

// A temporary name beside target (same volume, so renaming is atomic).
WideString TempNameFor(const WideString& target);
// Replaces to with from; EInOutError naming both on failure.
void RenameHostFile(const WideString& from, const WideString& to);
// Creates or truncates fileName and writes bytes; a failure removes it.
void WriteHostFile(const std::string& bytes, const WideString& fileName);
// Writes bytes to fileName through a temporary file renamed at the end.
void SaveFileAtomically(const std::string& bytes, const WideString& fileName);
