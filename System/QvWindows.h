// The operating-system groups of the utility unit: files, shell folders,
// the process, Windows versions, processes, the shell and message boxes.
// Windows only; the header itself stays free of the Windows headers so
// that the portable units may name the types.
//
// System/ is the Windows layer: these groups and the registry object. It
// builds on the base (Common/) alone and exists only in the Windows build;
// the base's own Windows halves (files, the command line) stay with their
// units there.
#pragma once

#include <cstdint>
#include <vector>

#include "QvTypes.h"

// <windows.h> makes MessageBox a macro; a unit that includes it first must
// still reach TQvWinfn::MessageBox under its own name.
#ifdef MessageBox
#undef MessageBox
#endif

// Three date-time values in local time; a value within 1e-12 of zero
// leaves that time unchanged.
struct TFileTimes {
  TDateTime CreationTime = 0;
  TDateTime LastWriteTime = 0;
  TDateTime LastAccessTime = 0;
};

class TQvFilefn {
public:
  // Creates the folder part of path (up to the last "\" or ":") with its
  // parents when it is not empty and missing. Raises EInOutError when a
  // folder cannot be created.
  static void ForceFileDir(const WideString& path);
  // GetLongPathNameW into 260 characters; empty on failure or overflow.
  static WideString LongPathName(const WideString& path);
  // Opens the file read/write without sharing and sets the non-zero times
  // (local time, converted to UTC). False when it cannot be opened or
  // SetFileTime fails.
  static bool SetFileTimes(const WideString& path, const TFileTimes& times);
  // Replaces path whole or not at all: the bytes go to a temporary file
  // beside it (ReplacingName), get the non-zero times on the same handle,
  // are flushed, and the temporary file then takes the target's place in
  // one step. On any failure the previous file stays as it was, the
  // temporary file is removed, and EFCreateError, EWriteError or
  // EInOutError says which step failed and why. A file in use fails the
  // last step, before anything of it changed. Where path does not exist,
  // the file is made under its own name instead (nothing to keep whole),
  // and removed again when writing it fails.
  static void ReplaceWhole(const WideString& path, const char* data, int64_t size, const TFileTimes& times);
  // The temporary file ReplaceWhole writes for path: the same name each
  // time, so that one left by a killed run is taken over by the next.
  static WideString ReplacingName(const WideString& path);
  // The current local date-time.
  static TDateTime Now();
};

class TQvRegfn {
public:
  // SHGetFolderPathW (current path) with a trailing backslash; empty when
  // the call does not succeed.
  static WideString GetSpecialFolder(int csidl);
};

class TQvWinfn {
public:
  static bool IsWinXPOrHigher();   // NT, 5.1 or later
  static bool IsWin7OrHigher();    // NT, 6.1 or later
  static bool IsWin10OrHigher();   // NT, 6.4 or later
  // GetTempPathW, its long form, a trailing backslash; "\" when the long
  // form cannot be had.
  static WideString GetTempDir();
  // The user default locale's LOCALE_SABBREVLANGNAME ("CHS", "ENU", ...).
  static WideString UserLanguageAbbrev();
  // The system for a log: "Windows 10.0.19045, 64-bit, user locale en-US,
  // display language en-US".
  static WideString SystemDescription();
  // A new console, shown normally, handles inherited, in directory (this
  // process's working folder when empty or missing); waits without limit.
  // 1 when the process cannot be started, else its exit code.
  static uint32_t RunAndWait(const WideString& commandLine, const WideString& directory = WideString());
  // Hidden, its output and errors relayed byte for byte to standard output;
  // waits without limit. 1 when it cannot be started.
  static uint32_t RunConsole(const WideString& commandLine);
  // Ends every other process whose executable is one of paths (compared as
  // the file system does: long form, ignoring case), then waits up to
  // waitMs in all for them to be gone. A process that cannot be opened or
  // asked for its file (another user's, a system service, a 64-bit one
  // seen from a 32-bit program under Wine) is not one of ours and is left
  // alone. Returns how many ended within the wait.
  static int EndProcessesByPath(const std::vector<WideString>& paths, uint32_t waitMs);
  // ShellExecuteW; with handOver, 300 ms later the first process whose
  // executable name equals the file's name may take the foreground.
  // Returns the shell's result (32 or less is a failure).
  static intptr_t ShellExec(void* ownerWnd, const WideString& verb, const WideString& fileName,
                            const WideString& params, const WideString& directory, int showCmd, bool handOver);
  static intptr_t ShellOpen(const WideString& fileOrUrl);
  // ShellOpen, or "iexplore.exe" with the URL when the shell cannot open it.
  static void OpenUrl(const WideString& url);
  static int MessageBox(void* ownerWnd, const WideString& text, unsigned flags, const WideString& caption);
  static int ShowInformation(void* ownerWnd, const WideString& text, const WideString& caption);
};

// Windows parts of TQvSysfn (the portable ones are in QvSysUtils.h).
class TQvSysWinfn {
public:
  // True under a debugger (IsDebuggerPresent). The installer's release
  // build never acts on it (see SETUPKIT_DEVELOPMENT).
  static bool IsDebugging();
  // From here on, libraries are loaded from System32 only, whatever lies
  // beside the program or in its working folder: SetDefaultDllDirectories
  // where the system has it (Windows 8, and 7 with its update), else at
  // least the working folder is dropped (SetDllDirectoryW). Then the
  // libraries that system DLLs load on their own account are loaded from
  // System32 by full path, so that a later load by name finds them loaded:
  // not every such load honours the default directories (systems without
  // the call, Wine). Called first thing, before anything can load a
  // library. False when the search could not be restricted.
  static bool RestrictLibrarySearch();
  // GetSystemDirectoryW (System32, or SysWOW64 as a 32-bit process sees
  // it) with a trailing backslash.
  static WideString SystemFolder();
  // The text in the ANSI code page plus CR LF on standard output; a missing
  // or failing handle writes nothing and raises nothing.
  static void WriteStdOut(const WideString& text);
  // The same on standard error: how /Silent reports what a window would.
  static void WriteStdErr(const WideString& text);
};
